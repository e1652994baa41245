#include "machine_text.h"

#include "windows_headers.h"

#include <shellapi.h>

namespace knot::win32 {
namespace {

// `text` in the machine's code page; `lossless` says whether every character had its own there.
std::string Narrow(std::wstring_view text, bool& lossless) {
    lossless = true;
    const int size = static_cast<int>(text.size());
    BOOL defaulted = FALSE;
    const int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), size, nullptr,
                                           0, nullptr, &defaulted);
    if (length <= 0) {
        lossless = text.empty();
        return {};
    }
    std::string narrow(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), size, narrow.data(), length,
                        nullptr, &defaulted);
    lossless = defaulted == FALSE;
    return narrow;
}

} // namespace

std::string MachineCodePageText(std::wstring_view text) {
    bool lossless = true;
    return Narrow(text, lossless);
}

std::vector<std::string> MachineCodePageArguments(const wchar_t* commandLine) {
    std::vector<std::string> arguments;
    int count = 0;
    LPWSTR* words = CommandLineToArgvW(commandLine, &count);
    if (words == nullptr) {
        return arguments;
    }
    for (int index = 0; index < count; ++index) {
        arguments.push_back(MachineCodePageText(words[index]));
    }
    LocalFree(words);
    return arguments;
}

std::string MachineCodePagePath(const std::wstring& path) {
    bool lossless = true;
    std::string narrow = Narrow(path, lossless);
    if (lossless) {
        return narrow;
    }
    wchar_t shortPath[MAX_PATH];
    const DWORD length = GetShortPathNameW(path.c_str(), shortPath, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return narrow; // the file cannot be opened by that name: the load says so
    }
    return MachineCodePageText(std::wstring_view(shortPath, length));
}

} // namespace knot::win32
