// The driver port of Linux builds: reaches the units of a running knot-unit-sim process through
// the sockets in its rendezvous folder. With no simulator running there are simply no units.
#pragma once

#include "driver_port.h"
#include "sim_wire.h"

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace knot::device {
class SimDriverPort : public DriverPort {
  public:
    // `directory` defaults to $KNOT_SIM_DIR, or else the user's own folder (see SimDirectory).
    explicit SimDriverPort(std::string directory = SimDirectory(),
                           int receiveTimeoutMs = SIM_RECEIVE_TIMEOUT_MS);
    ~SimDriverPort() override;

    const std::string& Directory() const { return m_directory; }
    // Why the port last refused its folder (another user's, or writable by others), or "" when
    // it did not. A refused folder shows no units and opens nothing; the reason is also printed
    // to standard error, once for each new reason.
    std::string DirectoryRefusal() const;
    // How long a receive with no answer waiting takes to fail.
    void SetReceiveTimeout(int timeoutMs) { m_receiveTimeoutMs = timeoutMs; }

    PortHandle GetClassDevices() override;
    bool EnumDeviceInterface(PortHandle set, std::uint32_t index) override;
    std::size_t GetInterfaceDetailSize(PortHandle set, std::uint32_t index) override;
    bool GetInterfaceDetail(PortHandle set, std::uint32_t index, std::string& path) override;
    void DestroyDeviceInfoList(PortHandle set) override;
    // The unit's --slot.
    std::string GetInterfaceLocation(PortHandle set, std::uint32_t index) override;

    PortHandle CreateFile(const std::string& path) override;
    bool DeviceIoControl(PortHandle handle, std::uint32_t code, const void* in, std::size_t inSize,
                         void* out, std::size_t outSize, std::size_t& returned) override;
    void CloseHandle(PortHandle handle) override;

    PortHandle CreateStopEvent() override;
    bool SetEvent(PortHandle event) override;
    PortHandle OpenNamedEvent(const std::string& name) override;
    WaitOutcome WaitForStopOrEvent(PortHandle stopEvent, PortHandle namedEvent,
                                   int timeoutMs) override;
    void CloseEvent(PortHandle event) override;
    // A lock file named from this port's folder and the device path (unit_lock.h).
    UnitLockResult LockUnit(const std::string& devicePath) override;
    void UnlockUnit(PortHandle lock) override;
    // Whether a simulator answers in the folder, and how to start one or plug a unit; nothing
    // for a refused folder, whose refusal says it all.
    std::string DescribeAbsence() override;

  private:
    struct Interface {
        std::string socketName;
        std::string devicePath;
        std::string location;
    };
    struct Entry; // one open handle; closes its descriptor when the last user lets go
    enum class Kind { Set, File, StopEvent, NamedEvent };

    // Checks the folder before anything in it is connected to.
    bool DirectoryTrusted() const;
    std::vector<Interface> Enumerate() const;
    PortHandle Add(std::shared_ptr<Entry> entry);
    std::shared_ptr<Entry> Find(PortHandle handle, Kind kind) const;
    std::shared_ptr<Entry> Remove(PortHandle handle, Kind kind);

    const std::string m_directory;
    std::atomic<int> m_receiveTimeoutMs;
    mutable std::mutex m_mutex;
    mutable std::string m_refusal; // guarded by m_mutex
    std::map<PortHandle, std::shared_ptr<Entry>> m_handles;
    PortHandle m_nextHandle = 1;
};

} // namespace knot::device
