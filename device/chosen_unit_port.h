// A DriverPort on which only the interface at one device path exists, so that the window's own
// unit selection (the first qualifying interface) finds exactly that unit.
#pragma once

#include "forwarding_driver_port.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

namespace knot::device {
// The chosen interface is interface 0 of every set, and only while it is present.
class ChosenUnitPort : public ForwardingDriverPort {
  public:
    // `inner` must outlive this object.
    ChosenUnitPort(DriverPort& inner, std::string devicePath)
        : ForwardingDriverPort(inner), m_inner(inner), m_path(std::move(devicePath)) {}

    PortHandle GetClassDevices() override;
    bool EnumDeviceInterface(PortHandle set, std::uint32_t index) override;
    std::size_t GetInterfaceDetailSize(PortHandle set, std::uint32_t index) override;
    bool GetInterfaceDetail(PortHandle set, std::uint32_t index, std::string& path) override;
    void DestroyDeviceInfoList(PortHandle set) override;
    std::string GetInterfaceLocation(PortHandle set, std::uint32_t index) override;

  private:
    // The inner index of the chosen interface in `set`, or -1.
    long InnerIndex(PortHandle set) const;

    DriverPort& m_inner;
    const std::string m_path;
    mutable std::mutex m_mutex;
    std::map<PortHandle, long> m_sets;
};

} // namespace knot::device
