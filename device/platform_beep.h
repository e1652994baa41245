// The platform's simple beep that marks a failed send or data block.
// On Windows MessageBeep(0xFFFFFFFF); elsewhere no sound.
#pragma once

void PlatformBeep();
