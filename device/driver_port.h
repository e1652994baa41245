// The seam to the operating system's device layer: everything that reaches the unit's driver.
// The real port lives in win32/, the wire to the simulator in sim/, and tests script their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace knot::device {
// A platform handle as a number: a file, an event or a setup-service set.
using PortHandle = std::uintptr_t;

// The invalid marker: all bits set. Null (0) is the "failed" result of OpenDeviceInterface.
inline constexpr PortHandle INVALID_PORT_HANDLE = ~PortHandle{0};

// Result of waiting on the driver's disconnect event together with a stop event.
enum class WaitOutcome {
    Stop,         // the stop event was signalled (it wins when both are)
    Disconnected, // the driver's named event was signalled
    TimedOut,     // neither, within the time given
    Failed,       // the wait itself failed
};

// Result of taking the per-unit lock that every program writing a unit holds.
enum class LockOutcome {
    Held,   // taken: this program is the unit's one writer until it lets go
    Busy,   // another program (or another part of this one) holds it
    Failed, // it could not be taken at all; `problem` says why
};
struct UnitLockResult {
    LockOutcome outcome = LockOutcome::Failed;
    PortHandle lock = INVALID_PORT_HANDLE; // for UnlockUnit, when Held
    std::string problem;
};

class DriverPort {
  public:
    virtual ~DriverPort() = default;

    // Setup service: the set of present interfaces of the unit's class (flags 0x12).
    // Returns INVALID_PORT_HANDLE when the service gives no set.
    virtual PortHandle GetClassDevices() = 0;
    // Whether interface `index` of the set exists.
    virtual bool EnumDeviceInterface(PortHandle set, std::uint32_t index) = 0;
    // The detail query: the size it needs (including the terminating zero) or 0 on failure,
    // then the path itself. Split as the service does so that each step can fail on its own.
    virtual std::size_t GetInterfaceDetailSize(PortHandle set, std::uint32_t index) = 0;
    virtual bool GetInterfaceDetail(PortHandle set, std::uint32_t index, std::string& path) = 0;
    virtual void DestroyDeviceInfoList(PortHandle set) = 0;
    // Where the unit of interface `index` sits, as the setup service knows its device (the USB
    // port and hub, e.g. "Port_#0003.Hub_#0001"); "" when the port or the device tells none.
    virtual std::string GetInterfaceLocation(PortHandle /*set*/, std::uint32_t /*index*/) {
        return "";
    }

    // Files and device I/O. CreateFile returns INVALID_PORT_HANDLE on failure.
    virtual PortHandle CreateFile(const std::string& path) = 0;
    virtual bool DeviceIoControl(PortHandle handle, std::uint32_t code, const void* in,
                                 std::size_t inSize, void* out, std::size_t outSize,
                                 std::size_t& returned) = 0;
    virtual void CloseHandle(PortHandle handle) = 0;

    // Events. The stop event is an unnamed auto-reset event of ours; the disconnect event is
    // the driver's, opened by name with synchronize access.
    virtual PortHandle CreateStopEvent() = 0;
    virtual bool SetEvent(PortHandle event) = 0;
    virtual PortHandle OpenNamedEvent(const std::string& name) = 0;
    // Waits for the first of the two events; `timeoutMs` < 0 waits without end.
    virtual WaitOutcome WaitForStopOrEvent(PortHandle stopEvent, PortHandle namedEvent,
                                           int timeoutMs) = 0;
    virtual void CloseEvent(PortHandle event) = 0;

    // The per-unit lock, shared between processes and named from the device path, that a
    // program holds for the whole of its writing of a unit. It never reaches the unit: not a byte
    // on the wire changes. The system lets go of it when its holder dies.
    virtual UnitLockResult LockUnit(const std::string& devicePath) = 0;
    virtual void UnlockUnit(PortHandle lock) = 0;

    // What the operator is told, after "no unit interface is present", of where units were looked
    // for and how to make one appear; "" when there is nothing to add (the real driver).
    virtual std::string DescribeAbsence() { return ""; }
};

// I/O control codes of the unit's driver.
inline constexpr std::uint32_t IOCTL_UNIT_SEND = 0x222400;
inline constexpr std::uint32_t IOCTL_UNIT_RECEIVE = 0x222000;
inline constexpr std::uint32_t IOCTL_UNIT_GET_DESCRIPTOR = 0x222008;
inline constexpr std::uint32_t IOCTL_UNIT_GET_DEVICE_NUMBER = 0x22200C;

} // namespace knot::device
