// The per-unit lock that every program writing a unit holds (DriverPort::LockUnit): how the
// machine's ports take it (a flock'ed file in the user's private lock folder on Linux, a named
// mutex on Windows, both named from the device path), and the hold a writer keeps meanwhile.
#pragma once

#include "driver_port.h"

#include <string>

namespace knot::device {
// `text` (a device path, or the simulator's folder and a device path) made fit to name a file
// or a kernel object: lower case, and every character but letters, digits, '-' and '.' as '_'.
std::string UnitLockName(const std::string& text);

#ifdef _WIN32
// The mutex "Global\knot-fdt-unit-<name>": the first writer creates it, and it exists for as
// long as that writer keeps its handle; whoever finds it existing finds the unit busy.
UnitLockResult LockByNamedMutex(const std::string& name);
void UnlockNamedMutex(PortHandle lock);
#else
// The folder of the lock files: "knot-fdt-locks" in $XDG_RUNTIME_DIR (when that is an absolute
// path), or else "/tmp/knot-fdt-locks-UID"; made mode 0700 and refused like the simulator's
// rendezvous folder when another user owns it or others may write to it.
std::string UnitLockFolder();
// An exclusive flock, taken without waiting, on "<name>.lock" in that folder (made 0600).
UnitLockResult LockByFile(const std::string& name);
void UnlockFile(PortHandle lock);
#endif

// One writer's hold of the lock of the unit it writes; let go at the latest when it ends.
class UnitWriteLock {
  public:
    // `port` must outlive the hold.
    explicit UnitWriteLock(DriverPort& port) : m_port(port) {}
    ~UnitWriteLock() { Release(); }
    UnitWriteLock(const UnitWriteLock&) = delete;
    UnitWriteLock& operator=(const UnitWriteLock&) = delete;

    // Takes the lock of the unit at `devicePath` (a hold already held lets go of it first).
    LockOutcome Take(const std::string& devicePath);
    void Release();
    bool Held() const { return m_lock != INVALID_PORT_HANDLE; }
    // Why the last Take failed, when it did.
    const std::string& Problem() const { return m_problem; }

  private:
    DriverPort& m_port;
    PortHandle m_lock = INVALID_PORT_HANDLE;
    std::string m_problem;
};

} // namespace knot::device
