// The real driver port: the setup service, CreateFileA, DeviceIoControl and the driver's named
// event, as Windows provides them. Every call returns only when it is over; a send or receive the
// driver has not completed within IO_BOUND_MS is cancelled and fails. The port keeps no state.
#pragma once

#include "driver_port.h"

#include <cstdint>

namespace knot::device {
class Win32DriverPort : public DriverPort {
  public:
    // How long one send or receive may take before it is cancelled and counts as failed: far
    // above the millisecond a real exchange takes, so only a driver that holds a receive for a
    // silent unit reaches it, which would otherwise block the window thread for good.
    static constexpr std::uint32_t IO_BOUND_MS = 2000;

    PortHandle GetClassDevices() override;
    bool EnumDeviceInterface(PortHandle set, std::uint32_t index) override;
    std::size_t GetInterfaceDetailSize(PortHandle set, std::uint32_t index) override;
    bool GetInterfaceDetail(PortHandle set, std::uint32_t index, std::string& path) override;
    void DestroyDeviceInfoList(PortHandle set) override;
    // The location information of the interface's device instance, else the first of its
    // location paths.
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
    // A named mutex of the device path (unit_lock.h).
    UnitLockResult LockUnit(const std::string& devicePath) override;
    void UnlockUnit(PortHandle lock) override;

    // The size fields given to the setup service: the record sizes of this build (28 and 5 on
    // a 32-bit build, 32 and 8 on a 64-bit one); the service refuses any other value.
    static std::uint32_t InterfaceDataRecordSize();
    static std::uint32_t DetailDataRecordSize();
};

} // namespace knot::device
