#include "disconnect_event.h"

#include <cstdio>

namespace knot::device {
std::string DisconnectEventName(std::int32_t deviceNumber) {
    char name[DISCONNECT_EVENT_NAME_SIZE];
    if (deviceNumber >= 0) {
        std::snprintf(name, sizeof name, "%s%d", DISCONNECT_EVENT_PREFIX, deviceNumber);
    } else {
        std::snprintf(name, sizeof name, "%s", DISCONNECT_EVENT_PREFIX);
    }
    return name;
}

} // namespace knot::device
