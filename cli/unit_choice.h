// Which unit a command talks to: every present interface as the unit selection sees it, the
// --unit / --path / --all options, and a driver port that shows one chosen interface only, so
// that the window's own rule (the first qualifying interface) finds exactly that unit.
#pragma once

#include "exit_codes.h"
#include "forwarding_driver_port.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace CLI {
class App;
}

// One present interface of the units' class.
struct UnitInterface {
    std::uint32_t index = 0;
    std::string path;
    bool hasDescriptor = false;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    bool qualifies = false;
    std::int32_t packetSize = 0;
    std::int32_t deviceNumber = 0;
};

// Every present interface, in the order of the device search.
std::vector<UnitInterface> SurveyUnits(DriverPort& port);
// The device path of every present interface, all read from one enumeration ("" where it
// cannot be read), or nothing when the interfaces cannot be enumerated. Opens none of them:
// units being written are not disturbed.
std::optional<std::vector<std::string>> PresentPaths(DriverPort& port);
// The present interface at `index`, opened for its descriptor and device number.
UnitInterface SurveyUnit(DriverPort& port, std::uint32_t index);

// Why an interface does not qualify, or "" when it does.
std::string WhyNotQualifying(const UnitInterface& unit);

// The --unit, --path and --all options of a unit command.
struct UnitChoice {
    std::vector<int> numbers; // --unit N, by device number (repeatable where `many`)
    std::string path;         // --path PATH
    bool all = false;         // --all

    void AddOptions(CLI::App& command, bool severalUnits);
    // Whether one lane per unit is wanted (--all, or --unit given more than once).
    bool Lanes() const { return all || numbers.size() > 1; }
    // Whether a unit was named; without one the first qualifying unit is taken.
    bool Named() const { return !numbers.empty() || !path.empty(); }
};

// The device paths of the chosen units, each qualifying. On failure returns the exit status
// and sets `error` to the operator's text.
struct ChosenUnits {
    std::vector<std::string> paths;
    std::vector<std::int32_t> numbers; // each path's device number
    ExitCode code = ExitCode::Success;
    std::string error;
    std::string skipped; // --all: the interfaces passed over and why; "" when none was
};
ChosenUnits ChooseUnits(const UnitChoice& choice, DriverPort& port);

// The text for "no unit interface is present at all", with what `port` says of the absence (on
// Linux: where the simulator was looked for and how to start one).
std::string NoInterfaceText(DriverPort& port);

// A DriverPort on which only the interface at one device path exists (as interface 0), and
// only while it is present.
class ChosenUnitPort : public ForwardingDriverPort {
  public:
    ChosenUnitPort(DriverPort& inner, std::string devicePath)
        : ForwardingDriverPort(inner), m_inner(inner), m_path(std::move(devicePath)) {}

    PortHandle GetClassDevices() override;
    bool EnumDeviceInterface(PortHandle set, std::uint32_t index) override;
    std::size_t GetInterfaceDetailSize(PortHandle set, std::uint32_t index) override;
    bool GetInterfaceDetail(PortHandle set, std::uint32_t index, std::string& path) override;
    void DestroyDeviceInfoList(PortHandle set) override;

  private:
    // The inner index of the chosen interface in `set`, or -1.
    long InnerIndex(PortHandle set) const;

    DriverPort& m_inner;
    const std::string m_path;
    mutable std::mutex m_mutex;
    std::map<PortHandle, long> m_sets;
};
