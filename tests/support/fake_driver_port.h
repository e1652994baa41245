// A DriverPort that presents a scripted list of unit interfaces and records every call.
// Each interface can fail at any step of the search, the open, or the I/O controls; an I/O
// control issued with other buffer sizes than the system's own is refused.
#pragma once

#include "knot_names.h"

#include "device_link.h"
#include "driver_port.h"

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

struct FakeInterface {
    std::string path = "\\\\?\\usb#vid_1234&pid_7832#00001#{6850537e-9503-42ce-96dd-47049e09ba40}";
    std::uint16_t vendorId = 0x1234;
    std::uint16_t productId = UNIT_PRODUCT_ID;
    std::int32_t deviceNumber = 0;
    int goneFromSet = -1; // enumeration fails in this set (counting from 0) and later ones
    bool detailSizeFails = false;
    bool detailFails = false;
    bool openFails = false;
    bool descriptorFails = false;
    bool deviceNumberFails = false;
};

// One scripted answer of IOCTL_UNIT_RECEIVE.
struct FakeReceive {
    bool ok = true;
    std::vector<std::uint8_t> bytes;
};

class FakeDriverPort : public DriverPort {
  public:
    std::vector<FakeInterface> interfaces;
    bool classDevicesFail = false;
    bool sendFails = false;
    std::deque<FakeReceive> receives; // an empty queue makes a receive fail

    // Recorded: every call as text ("GetClassDevices", "Enum 1", "CreateFile <path>",
    // "Ioctl 222008 on 101", "CloseHandle 101", "Destroy 50"), and every packet sent.
    std::vector<std::string> calls;
    std::vector<std::vector<std::uint8_t>> sent;
    std::vector<PortHandle> openHandles; // files and sets not yet closed

    // The handle CreateFile gives for interface i.
    static PortHandle FileHandleOf(std::size_t index) { return 0x101 + index; }

    PortHandle GetClassDevices() override;
    bool EnumDeviceInterface(PortHandle set, std::uint32_t index) override;
    std::size_t GetInterfaceDetailSize(PortHandle set, std::uint32_t index) override;
    bool GetInterfaceDetail(PortHandle set, std::uint32_t index, std::string& path) override;
    void DestroyDeviceInfoList(PortHandle set) override;
    PortHandle CreateFile(const std::string& path) override;
    bool DeviceIoControl(PortHandle handle, std::uint32_t code, const void* in, std::size_t inSize,
                         void* out, std::size_t outSize, std::size_t& returned) override;
    void CloseHandle(PortHandle handle) override;

    // Events are not scripted: the stop event works, named events never exist.
    PortHandle CreateStopEvent() override;
    bool SetEvent(PortHandle event) override;
    PortHandle OpenNamedEvent(const std::string& name) override;
    WaitOutcome WaitForStopOrEvent(PortHandle stopEvent, PortHandle namedEvent,
                                   int timeoutMs) override;
    void CloseEvent(PortHandle event) override;
    // Every unit is free to write.
    UnitLockResult LockUnit(const std::string&) override { return {LockOutcome::Held, 1, {}}; }
    void UnlockUnit(PortHandle) override {}

    std::vector<std::string> openedEventNames;

  private:
    const FakeInterface* Find(PortHandle set, std::uint32_t index) const;
    void Release(PortHandle handle);

    int m_setCount = 0;
    bool m_stopSignalled = false;
};
