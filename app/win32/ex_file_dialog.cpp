#include "ex_file_dialog.h"

#include "flash_transfer_dlg.h"
#include "resource_ids.h"

#include <commdlg.h>

#include <array>

namespace knot::win32 {
namespace {

// "S Record File (*.mot)|*.mot||" in the platform's form: pairs of texts, each ended by a NUL.
constexpr char kFilter[] = "S Record File (*.mot)\0*.mot\0";
constexpr const char* kDefaultExtension = "mot";
constexpr int kChildSize = 10; // pixels: small enough to hide the template's own buttons

} // namespace

CExFileDialog::CExFileDialog(HWND owner) : m_owner(owner) {}

bool CExFileDialog::DoModal() {
    std::array<char, MAX_PATH> path{}; // no initial file name
    OPENFILENAMEA settings{};
    settings.lStructSize = sizeof(settings);
    settings.hwndOwner = m_owner;
    settings.hInstance = ResourceModule();
    settings.lpstrFilter = kFilter;
    settings.nFilterIndex = 1;
    settings.lpstrFile = path.data();
    settings.nMaxFile = static_cast<DWORD>(path.size());
    settings.lpstrDefExt = kDefaultExtension;
    settings.Flags = CHOOSER_FLAGS | OFN_ENABLEHOOK;
    settings.lpfnHook = HookProc;
    settings.lpTemplateName = MAKEINTRESOURCEA(IDD_CHOOSER_CHILD);
    if (!GetOpenFileNameA(&settings)) {
        return false;
    }
    m_path = path.data();
    return true;
}

UINT_PTR CALLBACK CExFileDialog::HookProc(HWND child, UINT message, WPARAM, LPARAM lParam) {
    if (message == WM_WINDOWPOSCHANGING) {
        // The chooser stretches its child over itself when it lays out or is resized; the child
        // keeps its small size, so its own buttons stay hidden.
        auto* position = reinterpret_cast<WINDOWPOS*>(lParam);
        if ((position->flags & SWP_NOSIZE) == 0) {
            position->cx = kChildSize;
            position->cy = kChildSize;
        }
        return 0;
    }
    if (message != WM_INITDIALOG) {
        return 0;
    }
    HWND chooser = GetParent(child);
    // Today's chooser shows the file-name box as the combo box 1148 rather than 1152: it is hidden
    // too, or the operator could still type a name.
    for (int id :
         {IDC_CHOOSER_FILE_NAME_BOX, IDC_CHOOSER_FILE_TYPE_LABEL, IDC_CHOOSER_FILE_NAME_LABEL,
          IDC_CHOOSER_FILE_TYPE_LIST, IDC_CHOOSER_FILE_NAME_COMBO}) {
        ShowWindow(GetDlgItem(chooser, id), SW_HIDE);
    }
    SetWindowPos(child, nullptr, 0, 0, kChildSize, kChildSize,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    return TRUE; // handled; the focus goes where the chooser puts it by default
}

} // namespace knot::win32
