// The platform's simple beep that marks a failed send or data block.
// On Windows MessageBeep(0xFFFFFFFF); elsewhere no sound.
#pragma once

#include <functional>

namespace knot::device {
// A beep as the logic and the protocol take it, so that tests can count beeps.
using BeepFunction = std::function<void()>;

void PlatformBeep();

} // namespace knot::device
