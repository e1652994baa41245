// A DriverPort that passes every call through to another port; wrappers that watch or change a
// few calls derive from it and override only those.
#pragma once

#include "driver_port.h"

namespace knot::device {
class ForwardingDriverPort : public DriverPort {
  public:
    // `inner` must outlive this object.
    explicit ForwardingDriverPort(DriverPort& inner) : m_inner(inner) {}

    PortHandle GetClassDevices() override { return m_inner.GetClassDevices(); }
    bool EnumDeviceInterface(PortHandle set, std::uint32_t index) override {
        return m_inner.EnumDeviceInterface(set, index);
    }
    std::size_t GetInterfaceDetailSize(PortHandle set, std::uint32_t index) override {
        return m_inner.GetInterfaceDetailSize(set, index);
    }
    bool GetInterfaceDetail(PortHandle set, std::uint32_t index, std::string& path) override {
        return m_inner.GetInterfaceDetail(set, index, path);
    }
    void DestroyDeviceInfoList(PortHandle set) override { m_inner.DestroyDeviceInfoList(set); }
    std::string GetInterfaceLocation(PortHandle set, std::uint32_t index) override {
        return m_inner.GetInterfaceLocation(set, index);
    }
    PortHandle CreateFile(const std::string& path) override { return m_inner.CreateFile(path); }
    bool DeviceIoControl(PortHandle handle, std::uint32_t code, const void* in, std::size_t inSize,
                         void* out, std::size_t outSize, std::size_t& returned) override {
        return m_inner.DeviceIoControl(handle, code, in, inSize, out, outSize, returned);
    }
    void CloseHandle(PortHandle handle) override { m_inner.CloseHandle(handle); }
    PortHandle CreateStopEvent() override { return m_inner.CreateStopEvent(); }
    bool SetEvent(PortHandle event) override { return m_inner.SetEvent(event); }
    PortHandle OpenNamedEvent(const std::string& name) override {
        return m_inner.OpenNamedEvent(name);
    }
    WaitOutcome WaitForStopOrEvent(PortHandle stopEvent, PortHandle namedEvent,
                                   int timeoutMs) override {
        return m_inner.WaitForStopOrEvent(stopEvent, namedEvent, timeoutMs);
    }
    void CloseEvent(PortHandle event) override { m_inner.CloseEvent(event); }
    UnitLockResult LockUnit(const std::string& devicePath) override {
        return m_inner.LockUnit(devicePath);
    }
    void UnlockUnit(PortHandle lock) override { m_inner.UnlockUnit(lock); }
    std::string DescribeAbsence() override { return m_inner.DescribeAbsence(); }

  private:
    DriverPort& m_inner;
};

} // namespace knot::device
