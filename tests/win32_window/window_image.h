// A shown window, frame and menu bar included, taken from the screen into a PNG file: the README's
// screenshots of the native windows. GDI+ must have been started.
#pragma once

#include "windows_headers.h"

#include <string>

bool SaveWindowImage(HWND window, const std::wstring& path);
