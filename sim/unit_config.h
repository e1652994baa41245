// How one virtual unit presents itself: ids, number, packet size, identity values and faults,
// and the names the driver gives it (device path, disconnect event, descriptor).
#pragma once

#include "fault_spec.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace knot::sim {
inline constexpr std::int32_t NEXT_FREE_NUMBER = -1;

struct UnitConfig {
    std::uint16_t vendorId = 0x0ABC;
    std::uint16_t productId = 0x7832;
    std::int32_t number = NEXT_FREE_NUMBER; // the device number; the plugging side fills it
    std::size_t packetSize = 64;            // 64 or 62
    std::string programName = "SIMUNIT";
    std::string version = "1.00";
    std::uint16_t checksum = 0x0000;
    bool hasDescriptor = true; // false: the descriptor request fails
    bool hasNumber = true;     // false: the device-number request fails, the event has no number
    bool hasEvent = true;      // false: the driver creates no disconnect event
    std::string slot;          // the location the driver tells for the unit; "" for none
    std::vector<FaultSpec> faults;
};

// The longest --slot a unit takes.
inline constexpr std::size_t SLOT_TEXT_LIMIT = 64;

// Reads the options of "knot-unit-sim plug" into `config`; on failure `error` says why.
bool ParsePlugOptions(const std::vector<std::string>& args, UnitConfig& config, std::string& error);

// The interface path the driver reports; it carries the ids as the selection's pattern writes
// them, e.g. "\\?\usb#VID_0ABC&PID_7832#00001#unit0#{6850537e-9503-42ce-96dd-47049e09ba40}",
// where "#00002#" in place of "#00001#" marks a 62-byte unit.
std::string UnitDevicePath(const UnitConfig& config);
// The part of the path that carries the ids and the packet size: "VID_0ABC&PID_7832#00001".
std::string UnitDeviceId(const UnitConfig& config);
// "Global\MOLTRAN_ZU_DISCONNECTED<N>", without the number for a unit that reports none.
std::string UnitEventName(const UnitConfig& config);
std::array<std::uint8_t, 8> UnitDescriptor(const UnitConfig& config);
// One line of "knot-unit-sim list".
std::string DescribeUnit(const UnitConfig& config);

} // namespace knot::sim
