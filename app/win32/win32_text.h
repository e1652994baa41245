// Text between the logic's narrow strings and the window's UTF-16 controls.
#pragma once

#include <string>
#include <string_view>

namespace knot::win32 {
// Our own texts are UTF-8; a text that is not valid UTF-8 (a file name in the machine's code
// page) is read in the machine's ANSI code page instead.
std::wstring WidenText(std::string_view text);
// The unit's bytes, one character each (Latin-1), so that no byte is lost or replaced.
std::wstring WidenBytes(std::string_view bytes);
// A control's text back as UTF-8.
std::string NarrowText(std::wstring_view text);

} // namespace knot::win32
