#include "sim_wire.h"

#include "private_folder.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace knot::device {
namespace {

constexpr const char* RENDEZVOUS_ROLE = "rendezvous folder";

bool FillAddress(const std::string& path, sockaddr_un& address) {
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

} // namespace

std::string SimDirectory() {
    const char* directory = std::getenv(SIM_DIR_VARIABLE);
    if (directory != nullptr && directory[0] != '\0')
        return directory;
    // The runtime folder is the user's own by definition; only an absolute path is one.
    const char* runtime = std::getenv(SIM_RUNTIME_DIR_VARIABLE);
    if (runtime != nullptr && runtime[0] == '/')
        return SimJoinPath(runtime, SIM_DIR_NAME);
    return SimJoinPath(SIM_SHARED_TEMP_DIR,
                       std::string(SIM_DIR_NAME) + "-" + std::to_string(::geteuid()));
}

std::string SimDirectoryProblem(const std::string& directory) {
    return PrivateFolderProblem(directory, RENDEZVOUS_ROLE);
}

std::string SimMakePrivateDirectory(const std::string& directory) {
    return MakePrivateFolder(directory, RENDEZVOUS_ROLE);
}

std::string SimUnitSocketName(std::int32_t number) {
    return "unit-" + std::to_string(number) + ".sock";
}

std::string SimEventSocketName(const std::string& eventName) {
    std::string name = eventName;
    const auto slash = name.rfind('\\');
    if (slash != std::string::npos)
        name = name.substr(slash + 1);
    for (char& c : name) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || c == '_' || c == '-';
        if (!plain)
            c = '_';
    }
    return "event-" + name + ".sock";
}

std::string SimJoinPath(const std::string& directory, const std::string& name) {
    if (!directory.empty() && directory.back() == '/')
        return directory + name;
    return directory + "/" + name;
}

void SimPutWord(std::vector<std::uint8_t>& message, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        message.push_back(static_cast<std::uint8_t>(value >> shift));
}

std::uint32_t SimGetWord(const std::uint8_t* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

int SimConnect(const std::string& path) {
    sockaddr_un address;
    if (!FillAddress(path, address))
        return -1;
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

int SimListen(const std::string& path) {
    sockaddr_un address;
    if (!FillAddress(path, address))
        return -1;
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return -1;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 64) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool SimSendMessage(int fd, const void* bytes, std::size_t size) {
    for (;;) {
        const ssize_t sent = ::send(fd, bytes, size, MSG_NOSIGNAL);
        if (sent >= 0)
            return static_cast<std::size_t>(sent) == size;
        if (errno != EINTR)
            return false;
    }
}

bool SimReceiveMessage(int fd, std::vector<std::uint8_t>& message, int timeoutMs) {
    pollfd entry{fd, POLLIN, 0};
    for (;;) {
        const int ready = ::poll(&entry, 1, timeoutMs);
        if (ready > 0)
            break;
        if (ready == 0 || errno != EINTR)
            return false;
    }
    message.resize(SIM_MAX_MESSAGE);
    for (;;) {
        const ssize_t received = ::recv(fd, message.data(), message.size(), MSG_DONTWAIT);
        if (received > 0) {
            message.resize(static_cast<std::size_t>(received));
            return true;
        }
        if (received == 0 || errno != EINTR) {
            message.clear();
            return false;
        }
    }
}

bool SimControlRequest(const std::string& directory, const std::vector<std::string>& words,
                       bool& ok, std::string& reply, int timeoutMs) {
    ok = false;
    reply.clear();
    const int fd = SimConnect(SimJoinPath(directory, SIM_CONTROL_SOCKET));
    if (fd < 0)
        return false;
    std::string request;
    for (const std::string& word : words) {
        if (!request.empty())
            request += '\0';
        request += word;
    }
    std::vector<std::uint8_t> answer;
    const bool exchanged = request.size() <= SIM_MAX_MESSAGE &&
                           SimSendMessage(fd, request.data(), request.size()) &&
                           SimReceiveMessage(fd, answer, timeoutMs) && !answer.empty();
    ::close(fd);
    if (!exchanged)
        return false;
    ok = answer[0] == SIM_REPLY_OK;
    reply.assign(answer.begin() + 1, answer.end());
    return true;
}

} // namespace knot::device
