// The device-interface class under which the unit's driver exposes every attached unit.
// {6850537E-9503-42CE-96DD-47049E09BA40}
#pragma once

#include "win32_api.h"

namespace knot::device {
inline constexpr GUID GUID_DEVINTERFACE_UNIT = {
    0x6850537E, 0x9503, 0x42CE, {0x96, 0xDD, 0x47, 0x04, 0x9E, 0x09, 0xBA, 0x40}};

} // namespace knot::device
