// The survey of the present unit interfaces: the one walk of an interface set, and each
// interface as the device search judges it. The window's unit selection, arrival poller and
// disconnect watcher, and knot-fdt's list, unit choice and station all look through it, so that
// they never disagree on which interface is a unit.
#pragma once

#include "driver_port.h"
#include "unit_qualification.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace knot::device {
// An interface set from the setup service, released when the look that obtained it ends,
// however it ends.
class InterfaceSet {
  public:
    explicit InterfaceSet(DriverPort& port) : m_port(port), m_set(port.GetClassDevices()) {}
    ~InterfaceSet() {
        if (valid()) {
            m_port.DestroyDeviceInfoList(m_set);
        }
    }
    InterfaceSet(const InterfaceSet&) = delete;
    InterfaceSet& operator=(const InterfaceSet&) = delete;

    bool valid() const { return m_set != INVALID_PORT_HANDLE; }
    PortHandle handle() const { return m_set; }

  private:
    DriverPort& m_port;
    PortHandle m_set;
};

// The detail query as the setup service asks for it: the size first, then the path.
bool ReadInterfacePath(DriverPort& port, PortHandle set, std::uint32_t index, std::string& path);

// Told of each interface of a walk: its index and, when paths are read, its device path up to
// its first zero ("" when it cannot be read). Returns false to end the walk there.
using InterfaceVisit = std::function<bool(std::uint32_t index, const std::string& path)>;

// Walks the interfaces of `set` from index 0 until one does not exist or `visit` ends the walk.
// Without `readPaths` no detail is queried. Returns how many interfaces were walked.
std::uint32_t WalkInterfaces(DriverPort& port, PortHandle set, bool readPaths,
                             const InterfaceVisit& visit = {});

// The number of present unit interfaces; 0 when the service gives no set. Safe to call from any
// thread the port allows; opens nothing.
int CountDeviceInterfaces(DriverPort& port);
// True when some present interface has exactly `devicePath`. Opens nothing. When the service
// gives no set at all, the answer is unknown and taken as present, so that a hiccup is not
// reported as an unplug.
bool IsInterfacePresent(DriverPort& port, const std::string& devicePath);
// The device path of every present interface, all read from one set ("" where it cannot be
// read), or nothing when the service gives no set. Opens none: units being written are not
// disturbed.
std::optional<std::vector<std::string>> PresentPaths(DriverPort& port);

// Every present interface, judged in the order of the device search: each is opened for its
// descriptor and device number and closed again, and its location is read. Prints nothing and
// traces nothing.
std::vector<UnitInterface> SurveyUnits(DriverPort& port);
// The present interface at `index`, judged the same way.
UnitInterface SurveyUnit(DriverPort& port, std::uint32_t index);

// A unit's slot, the name of its place on the bench: its location where the port tells one, else
// its device path.
std::string SlotOf(const UnitInterface& unit);
// The slot of the present interface at `devicePath`, read from one set without opening it; the
// path itself when the interface tells no location or is not present.
std::string SlotOfPath(DriverPort& port, const std::string& devicePath);

} // namespace knot::device
