#include "unit_lock.h"

#ifdef _WIN32
#include <windows.h>
#else
#include "private_folder.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace knot::device {
namespace {

constexpr const char* LOCK_PREFIX = "knot-fdt-unit-";

} // namespace

std::string UnitLockName(const std::string& text) {
    std::string name = text;
    for (char& c : name) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        } else if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.')) {
            c = '_';
        }
    }
    return name;
}

#ifdef _WIN32

UnitLockResult LockByNamedMutex(const std::string& name) {
    UnitLockResult result;
    // Global: a unit is one for every session of the machine.
    const std::string object = std::string("Global\\") + LOCK_PREFIX + name;
    SetLastError(ERROR_SUCCESS);
    HANDLE mutex = CreateMutexA(nullptr, FALSE, object.c_str());
    const DWORD error = GetLastError();
    if (mutex != nullptr && error != ERROR_ALREADY_EXISTS) {
        result.outcome = LockOutcome::Held;
        result.lock = reinterpret_cast<PortHandle>(mutex);
        return result;
    }
    if (mutex != nullptr) {
        CloseHandle(mutex);
    }
    // Made by another user, whose mutex this user may not open: it exists all the same.
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_ACCESS_DENIED) {
        result.outcome = LockOutcome::Busy;
        return result;
    }
    char text[256] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                   text, sizeof text, nullptr);
    std::string reason = text;
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r')) {
        reason.pop_back();
    }
    result.problem = "cannot create the lock " + object + ": " + reason;
    return result;
}

void UnlockNamedMutex(PortHandle lock) {
    CloseHandle(reinterpret_cast<HANDLE>(lock));
}

#else

std::string UnitLockFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/') {
        return std::string(runtime) + "/knot-fdt-locks";
    }
    return "/tmp/knot-fdt-locks-" + std::to_string(::geteuid());
}

UnitLockResult LockByFile(const std::string& name) {
    UnitLockResult result;
    const std::string folder = UnitLockFolder();
    result.problem = MakePrivateFolder(folder, "lock folder");
    if (!result.problem.empty()) {
        return result;
    }
    const std::string path = folder + "/" + LOCK_PREFIX + name + ".lock";
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        result.problem = "cannot open the lock file " + path + ": " + std::strerror(errno);
        return result;
    }
    // The lock belongs to this open file: another open, in this process or another, is refused.
    int locked;
    do {
        locked = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    if (locked == 0) {
        result.outcome = LockOutcome::Held;
        result.lock = static_cast<PortHandle>(fd);
        return result;
    }
    const int error = errno;
    ::close(fd);
    if (error == EWOULDBLOCK) {
        result.outcome = LockOutcome::Busy;
    } else {
        result.problem = "cannot lock " + path + ": " + std::strerror(error);
    }
    return result;
}

void UnlockFile(PortHandle lock) {
    ::close(static_cast<int>(lock)); // the lock goes with the file's last descriptor
}

#endif

LockOutcome UnitWriteLock::Take(const std::string& devicePath) {
    Release();
    UnitLockResult result = m_port.LockUnit(devicePath);
    m_problem = result.problem;
    if (result.outcome == LockOutcome::Held) {
        m_lock = result.lock;
    }
    return result.outcome;
}

void UnitWriteLock::Release() {
    if (m_lock != INVALID_PORT_HANDLE) {
        m_port.UnlockUnit(m_lock);
        m_lock = INVALID_PORT_HANDLE;
    }
}

} // namespace knot::device
