// Looking for one device path among the present interfaces.
#include "interface_presence.h"

#include <cstdint>
#include <cstring>

bool IsInterfacePresent(DriverPort& port, const std::string& devicePath) {
    PortHandle set = port.GetClassDevices();
    if (set == INVALID_PORT_HANDLE) {
        return true;
    }
    bool found = false;
    std::string path;
    for (std::uint32_t index = 0; !found && port.EnumDeviceInterface(set, index); ++index) {
        path.clear();
        // Compared as C strings: a path may come with its terminating zero.
        if (port.GetInterfaceDetailSize(set, index) != 0 &&
            port.GetInterfaceDetail(set, index, path) &&
            std::strcmp(path.c_str(), devicePath.c_str()) == 0) {
            found = true;
        }
    }
    port.DestroyDeviceInfoList(set);
    return found;
}

std::vector<std::string> PresentInterfacePaths(DriverPort& port) {
    std::vector<std::string> paths;
    PortHandle set = port.GetClassDevices();
    if (set == INVALID_PORT_HANDLE) {
        return paths;
    }
    for (std::uint32_t index = 0; port.EnumDeviceInterface(set, index); ++index) {
        std::string path;
        if (port.GetInterfaceDetailSize(set, index) == 0 ||
            !port.GetInterfaceDetail(set, index, path)) {
            path.clear();
        }
        paths.push_back(path.c_str()); // without a terminating zero that came with it
    }
    port.DestroyDeviceInfoList(set);
    return paths;
}
