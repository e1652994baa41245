// Wide text as the station's strings on Windows: file names in the machine's code page, in which
// the station opens its image and report files (as knot-fdt.exe's arguments are).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace knot::win32 {

// `text` in the machine's code page; a character the code page lacks becomes '?'.
std::string MachineCodePageText(std::wstring_view text);
// The program's command line (as GetCommandLineW gives it) split into its arguments, the
// program's name first, each in the machine's code page.
std::vector<std::string> MachineCodePageArguments(const wchar_t* commandLine);
// `path` in the machine's code page; where it has a character the code page lacks, its short
// form, which has none (where the volume keeps short names).
std::string MachineCodePagePath(const std::wstring& path);

} // namespace knot::win32
