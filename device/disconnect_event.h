// The name of the named event the driver signals when a unit is unplugged.
// The disconnect watcher opens it through the driver port and waits on it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace knot::device {
inline constexpr const char* DISCONNECT_EVENT_PREFIX = "Global\\MOLTRAN_ZU_DISCONNECTED";
inline constexpr std::size_t DISCONNECT_EVENT_NAME_SIZE = 64; // the buffer the name is formed in

// "Global\MOLTRAN_ZU_DISCONNECTED<n>" for a device number n >= 0, the bare prefix when negative.
std::string DisconnectEventName(std::int32_t deviceNumber);

} // namespace knot::device
