// Walking the interface set, and judging every interface as the unit selection does.
#include "interface_survey.h"

#include "device_access.h"
#include "transfer_log.h"

#include <cstring>

namespace knot::device {
namespace {

// The location of interface `index` as a set made now has it, when that interface still has
// `path`: a unit that went since it was judged must not lend another one its place.
std::string LocationAt(DriverPort& port, std::uint32_t index, const std::string& path) {
    InterfaceSet set(port);
    std::string read;
    if (path.empty() || !set.valid() || !ReadInterfacePath(port, set.handle(), index, read) ||
        std::strcmp(read.c_str(), path.c_str()) != 0) {
        return "";
    }
    return port.GetInterfaceLocation(set.handle(), index);
}

// Device access for a survey: it sends no packet, so its log never writes a line, and the
// search's diagnostics are not printed.
struct SurveyAccess {
    TransferLog silent{std::string(), std::string()};
    DeviceAccess access;

    explicit SurveyAccess(DriverPort& port) : access(port, silent) {
        access.SetDiagnosticSink([](std::string_view) {});
    }

    UnitInterface Survey(std::uint32_t index) {
        UnitInterface unit;
        PortHandle handle = access.InspectInterface(index, unit);
        if (handle != NULL_PORT_HANDLE) {
            access.GetDeviceNumber(handle, unit.deviceNumber);
            access.port().CloseHandle(handle);
        }
        unit.location = LocationAt(access.port(), index, unit.path);
        return unit;
    }
};

} // namespace

bool ReadInterfacePath(DriverPort& port, PortHandle set, std::uint32_t index, std::string& path) {
    if (port.GetInterfaceDetailSize(set, index) == 0) {
        return false;
    }
    return port.GetInterfaceDetail(set, index, path);
}

std::uint32_t WalkInterfaces(DriverPort& port, PortHandle set, bool readPaths,
                             const InterfaceVisit& visit) {
    std::string path;
    std::uint32_t index = 0;
    for (; port.EnumDeviceInterface(set, index); ++index) {
        path.clear();
        if (readPaths && !ReadInterfacePath(port, set, index, path)) {
            path.clear();
        }
        path.resize(std::strlen(path.c_str())); // a path may come with its terminating zero
        if (visit && !visit(index, path)) {
            return index + 1;
        }
    }
    return index;
}

int CountDeviceInterfaces(DriverPort& port) {
    InterfaceSet set(port);
    return set.valid() ? static_cast<int>(WalkInterfaces(port, set.handle(), false)) : 0;
}

bool IsInterfacePresent(DriverPort& port, const std::string& devicePath) {
    InterfaceSet set(port);
    if (!set.valid()) {
        return true;
    }
    bool found = false;
    WalkInterfaces(port, set.handle(), true, [&](std::uint32_t, const std::string& path) {
        found = std::strcmp(path.c_str(), devicePath.c_str()) == 0;
        return !found;
    });
    return found;
}

std::optional<std::vector<std::string>> PresentPaths(DriverPort& port) {
    // One set for the whole look: a unit that goes meanwhile cannot shift another one out of it.
    InterfaceSet set(port);
    if (!set.valid()) {
        return std::nullopt;
    }
    std::vector<std::string> paths;
    WalkInterfaces(port, set.handle(), true, [&](std::uint32_t, const std::string& path) {
        paths.push_back(path);
        return true;
    });
    return paths;
}

std::vector<UnitInterface> SurveyUnits(DriverPort& port) {
    SurveyAccess survey(port);
    std::vector<UnitInterface> units;
    const int count = CountDeviceInterfaces(port);
    for (int i = 0; i < count; ++i) {
        units.push_back(survey.Survey(static_cast<std::uint32_t>(i)));
    }
    return units;
}

UnitInterface SurveyUnit(DriverPort& port, std::uint32_t index) {
    return SurveyAccess(port).Survey(index);
}

std::string SlotOf(const UnitInterface& unit) {
    return unit.location.empty() ? unit.path : unit.location;
}

std::string SlotOfPath(DriverPort& port, const std::string& devicePath) {
    InterfaceSet set(port);
    std::string location;
    if (set.valid()) {
        WalkInterfaces(port, set.handle(), true, [&](std::uint32_t index, const std::string& path) {
            if (std::strcmp(path.c_str(), devicePath.c_str()) != 0) {
                return true;
            }
            location = port.GetInterfaceLocation(set.handle(), index);
            return false;
        });
    }
    return location.empty() ? devicePath : location;
}

} // namespace knot::device
