// Choosing units: the survey behind list, the --unit / --path / --all options, and the port that
// narrows the device search to one interface.
#include "unit_choice.h"

#include "device_access.h"
#include "device_link.h"
#include "transfer_log.h"
#include "unit_qualification.h"

#include <CLI/CLI.hpp>

#include <array>
#include <cstdio>

namespace {

UnitInterface Inspect(DeviceAccess& access, std::uint32_t index) {
    UnitInterface unit;
    unit.index = index;
    unit.packetSize = FULL_PACKET_SIZE;
    unit.deviceNumber = UNKNOWN_DEVICE_NUMBER;
    std::array<char, DEVICE_PATH_BUFFER_SIZE> path{};
    if (access.GetDevicePath(index, path.data(), DEVICE_PATH_CAPACITY)) {
        unit.path = path.data();
    }
    PortHandle handle = access.OpenDeviceInterface(index);
    if (handle == NULL_PORT_HANDLE || handle == INVALID_PORT_HANDLE) {
        return unit;
    }
    std::array<std::uint8_t, DEVICE_DESCRIPTOR_SIZE> descriptor{};
    UnitIds ids;
    if (access.GetDeviceDescriptor(handle, descriptor.data(), descriptor.size())) {
        unit.hasDescriptor = true;
        ids = ReadUnitIds(descriptor.data());
        unit.vendorId = ids.vendorId;
        unit.productId = ids.productId;
    }
    access.GetDeviceNumber(handle, unit.deviceNumber);
    access.port().CloseHandle(handle);
    unit.qualifies = unit.hasDescriptor && IsUnitProduct(ids) && !unit.path.empty();
    unit.packetSize = PacketSizeFor(unit.path, ids);
    return unit;
}

// "1 of 4 unit interfaces does not qualify and is skipped: unit 3: foreign product id 0x1111".
std::string SkippedText(const std::vector<const UnitInterface*>& skipped, std::size_t present) {
    const bool one = skipped.size() == 1;
    std::string text = std::to_string(skipped.size()) + " of " + std::to_string(present) +
                       " unit interfaces " + (one ? "does" : "do") + " not qualify and " +
                       (one ? "is" : "are") + " skipped: ";
    for (std::size_t i = 0; i < skipped.size(); ++i) {
        const UnitInterface& unit = *skipped[i];
        text += i > 0 ? "; " : "";
        text += unit.deviceNumber >= 0 ? "unit " + std::to_string(unit.deviceNumber)
                                       : "the interface at " + unit.path;
        text += ": " + WhyNotQualifying(unit);
    }
    return text;
}

// Device access for a survey: it sends no packet, so its log never writes a line.
struct SurveyAccess {
    TransferLog silent{std::string(), std::string()};
    DeviceAccess access;

    explicit SurveyAccess(DriverPort& port) : access(port, silent) {
        access.SetDiagnosticSink([](std::string_view) {});
    }
};

} // namespace

std::vector<UnitInterface> SurveyUnits(DriverPort& port) {
    SurveyAccess survey(port);
    std::vector<UnitInterface> units;
    int count = survey.access.CountDeviceInterfaces();
    for (int i = 0; i < count; ++i) {
        units.push_back(Inspect(survey.access, static_cast<std::uint32_t>(i)));
    }
    return units;
}

std::optional<std::vector<std::string>> PresentPaths(DriverPort& port) {
    // One set for the whole look: a unit that goes meanwhile cannot shift another one out of it.
    PortHandle set = port.GetClassDevices();
    if (set == INVALID_PORT_HANDLE) {
        return std::nullopt;
    }
    std::vector<std::string> paths;
    for (std::uint32_t index = 0; port.EnumDeviceInterface(set, index); ++index) {
        std::string path;
        if (port.GetInterfaceDetailSize(set, index) == 0 ||
            !port.GetInterfaceDetail(set, index, path)) {
            path.clear();
        }
        paths.push_back(path);
    }
    port.DestroyDeviceInfoList(set);
    return paths;
}

UnitInterface SurveyUnit(DriverPort& port, std::uint32_t index) {
    SurveyAccess survey(port);
    return Inspect(survey.access, index);
}

std::string WhyNotQualifying(const UnitInterface& unit) {
    if (unit.qualifies) {
        return "";
    }
    if (unit.path.empty()) {
        return "its device path cannot be read";
    }
    if (!unit.hasDescriptor) {
        return "it gives no device descriptor";
    }
    char text[64];
    std::snprintf(text, sizeof text, "foreign product id 0x%04X", unsigned{unit.productId});
    return text;
}

void UnitChoice::AddOptions(CLI::App& command, bool severalUnits) {
    CLI::Option* unit = command.add_option(
        "--unit", numbers,
        severalUnits ? "the unit with this device number (see list); give it again to flash "
                       "several units at once"
                     : "the unit with this device number (see list)");
    if (!severalUnits) {
        unit->expected(1);
    }
    CLI::Option* pathOption =
        command.add_option("--path", path, "the unit at this device path (see list)");
    pathOption->excludes(unit);
    if (severalUnits) {
        CLI::Option* allOption =
            command.add_flag("--all", all, "flash every qualifying unit at once, one lane each");
        allOption->excludes(unit)->excludes(pathOption);
    }
}

ChosenUnits ChooseUnits(const UnitChoice& choice, DriverPort& port) {
    ChosenUnits chosen;
    std::vector<UnitInterface> units = SurveyUnits(port);
    if (units.empty()) {
        chosen.code = ExitCode::NoUnit;
        chosen.error = NoInterfaceText(port);
        return chosen;
    }
    auto take = [&](const UnitInterface& unit) {
        std::string why = WhyNotQualifying(unit);
        if (!why.empty()) {
            chosen.code = ExitCode::NoUnit;
            chosen.error = "the unit at " + unit.path + " does not qualify: " + why;
            return false;
        }
        chosen.paths.push_back(unit.path);
        chosen.numbers.push_back(unit.deviceNumber);
        return true;
    };
    if (!choice.path.empty()) {
        for (const UnitInterface& unit : units) {
            if (unit.path == choice.path) {
                take(unit);
                return chosen;
            }
        }
        chosen.code = ExitCode::NoUnit;
        chosen.error = "no unit interface has the path " + choice.path + " (see knot-fdt list)";
        return chosen;
    }
    for (int number : choice.numbers) {
        const UnitInterface* found = nullptr;
        for (const UnitInterface& unit : units) {
            if (unit.deviceNumber == number) {
                found = &unit;
                break;
            }
        }
        if (found == nullptr) {
            chosen.code = ExitCode::NoUnit;
            chosen.error = "no unit with device number " + std::to_string(number) +
                           " is attached (see knot-fdt list)";
            chosen.paths.clear();
            chosen.numbers.clear();
            return chosen;
        }
        for (const std::string& path : chosen.paths) {
            if (path == found->path) {
                found = nullptr; // named twice: one lane
                break;
            }
        }
        if (found != nullptr && !take(*found)) {
            chosen.paths.clear();
            chosen.numbers.clear();
            return chosen;
        }
    }
    if (choice.all) {
        std::vector<const UnitInterface*> skipped;
        for (const UnitInterface& unit : units) {
            if (unit.qualifies) {
                chosen.paths.push_back(unit.path);
                chosen.numbers.push_back(unit.deviceNumber);
            } else {
                skipped.push_back(&unit);
            }
        }
        if (!skipped.empty()) {
            chosen.skipped = SkippedText(skipped, units.size());
        }
        if (chosen.paths.empty()) {
            chosen.code = ExitCode::NoUnit;
            chosen.error = "no qualifying unit is attached: " + chosen.skipped;
        }
    }
    return chosen;
}

std::string NoInterfaceText(DriverPort& port) {
    std::string text = "no qualifying unit is attached: no unit interface is present";
    // Where the port looked, and how to make a unit appear there (the simulator's folder).
    if (std::string absence = port.DescribeAbsence(); !absence.empty()) {
        text += "; " + absence;
    }
    return text;
}

PortHandle ChosenUnitPort::GetClassDevices() {
    PortHandle set = m_inner.GetClassDevices();
    if (set == INVALID_PORT_HANDLE) {
        return set;
    }
    long found = -1;
    std::string path;
    for (std::uint32_t index = 0; found < 0 && m_inner.EnumDeviceInterface(set, index); ++index) {
        path.clear();
        if (m_inner.GetInterfaceDetailSize(set, index) != 0 &&
            m_inner.GetInterfaceDetail(set, index, path) && path.c_str() == m_path) {
            found = static_cast<long>(index);
        }
    }
    std::lock_guard lock(m_mutex);
    m_sets[set] = found;
    return set;
}

long ChosenUnitPort::InnerIndex(PortHandle set) const {
    std::lock_guard lock(m_mutex);
    auto it = m_sets.find(set);
    return it == m_sets.end() ? -1 : it->second;
}

bool ChosenUnitPort::EnumDeviceInterface(PortHandle set, std::uint32_t index) {
    long inner = InnerIndex(set);
    return index == 0 && inner >= 0 &&
           m_inner.EnumDeviceInterface(set, static_cast<std::uint32_t>(inner));
}

std::size_t ChosenUnitPort::GetInterfaceDetailSize(PortHandle set, std::uint32_t index) {
    long inner = InnerIndex(set);
    if (index != 0 || inner < 0) {
        return 0;
    }
    return m_inner.GetInterfaceDetailSize(set, static_cast<std::uint32_t>(inner));
}

bool ChosenUnitPort::GetInterfaceDetail(PortHandle set, std::uint32_t index, std::string& path) {
    long inner = InnerIndex(set);
    if (index != 0 || inner < 0) {
        return false;
    }
    return m_inner.GetInterfaceDetail(set, static_cast<std::uint32_t>(inner), path);
}

void ChosenUnitPort::DestroyDeviceInfoList(PortHandle set) {
    {
        std::lock_guard lock(m_mutex);
        m_sets.erase(set);
    }
    m_inner.DestroyDeviceInfoList(set);
}
