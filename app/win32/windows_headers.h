// <windows.h> for the window's code, included in one place. It maps CreateFile to
// CreateFileA/W, a macro that would rename DriverPort's method of that name.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#undef CreateFile

namespace knot::win32 {} // namespace knot::win32
