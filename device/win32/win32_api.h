// The Windows headers the real driver port needs, included in one place.
// <windows.h> maps CreateFile to CreateFileA/W; that macro would rename DriverPort's method.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// setupapi.h needs the full windows.h declarations above
#include <setupapi.h>

#undef CreateFile

namespace knot::device {} // namespace knot::device
