// File > Open of the station window: the platform's open dialog for *.mot files.
#pragma once

#include "windows_headers.h"

#include <optional>
#include <string>

namespace knot::win32 {

// The S-Record file the operator chose (its full path, as the station opens files), or nothing
// when the dialog was cancelled.
std::optional<std::string> ChooseImageFile(HWND owner);

} // namespace knot::win32
