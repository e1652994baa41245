#include "private_folder.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace knot::device {
namespace {

constexpr mode_t PRIVATE_FOLDER_MODE = 0700;

} // namespace

std::string PrivateFolderProblem(const std::string& directory, const std::string& role) {
    struct stat status {};
    if (::stat(directory.c_str(), &status) != 0)
        return errno == ENOENT ? std::string() : directory + ": " + std::strerror(errno);
    const std::string prefix = "refusing the " + role + " " + directory + ": ";
    if (!S_ISDIR(status.st_mode))
        return prefix + "it is not a folder";
    if (status.st_uid != ::geteuid()) {
        return prefix + "it belongs to user id " + std::to_string(status.st_uid) +
               ", not to user id " + std::to_string(::geteuid()) + " who runs this program";
    }
    if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(status.st_mode & 07777));
        return prefix + "other users can write to it (mode " + mode + "; chmod 700 mends it)";
    }
    return {};
}

std::string MakePrivateFolder(const std::string& directory, const std::string& role) {
    const std::filesystem::path path(directory);
    std::error_code failure;
    if (path.has_parent_path() && !std::filesystem::exists(path.parent_path(), failure))
        std::filesystem::create_directories(path.parent_path(), failure);
    // mkdir applies the mode (less the umask, which cannot widen it) as it creates the folder,
    // so there is no moment in which another user could get in.
    if (::mkdir(directory.c_str(), PRIVATE_FOLDER_MODE) != 0 && errno != EEXIST)
        return "cannot create " + directory + ": " + std::strerror(errno);
    return PrivateFolderProblem(directory, role);
}

} // namespace knot::device
