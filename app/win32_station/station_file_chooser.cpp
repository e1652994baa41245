#include "station_file_chooser.h"

#include "machine_text.h"

#include <commdlg.h>

#include <array>

namespace knot::win32 {
namespace {

constexpr wchar_t kFilter[] = L"S Record File (*.mot)\0*.mot\0";

} // namespace

std::optional<std::string> ChooseImageFile(HWND owner) {
    std::array<wchar_t, 32768> path{}; // a long path fits
    OPENFILENAMEW settings{};
    settings.lStructSize = sizeof(settings);
    settings.hwndOwner = owner;
    settings.lpstrFilter = kFilter;
    settings.nFilterIndex = 1;
    settings.lpstrFile = path.data();
    settings.nMaxFile = static_cast<DWORD>(path.size());
    settings.lpstrDefExt = L"mot";
    settings.Flags =
        OFN_HIDEREADONLY | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_EXPLORER | OFN_ENABLESIZING;
    if (!GetOpenFileNameW(&settings)) {
        return std::nullopt;
    }
    return MachineCodePagePath(path.data());
}

} // namespace knot::win32
