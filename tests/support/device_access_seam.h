// The suites' reach to two steps of the device search that only DeviceAccess itself takes:
// opening one interface, and reading its path into a buffer of a given capacity.
#pragma once

#include "device_access.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace knot::device {

struct DeviceAccessSeam {
    static PortHandle OpenDeviceInterface(DeviceAccess& access, std::uint32_t index) {
        std::string path;
        return access.OpenDeviceInterface(index, path);
    }
    static bool GetDevicePath(DeviceAccess& access, std::uint32_t index, char* buffer,
                              std::size_t capacity) {
        return access.GetDevicePath(index, buffer, capacity) == DeviceAccess::PathRead::Read;
    }
};

} // namespace knot::device
