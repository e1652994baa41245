#include "platform_beep.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace knot::device {
void PlatformBeep() {
#ifdef _WIN32
    MessageBeep(0xFFFFFFFF);
#endif
}

} // namespace knot::device
