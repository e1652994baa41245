#include "about_dlg.h"

#include "dialog_window.h"
#include "flash_transfer_dlg.h"
#include "resource_ids.h"
#include "variant_profile.h"
#include "win32_text.h"

namespace knot::win32 {
using namespace knot::core;

INT_PTR CAboutDlg::DoModal(HWND owner) {
    return DialogBoxParamW(ResourceModule(), MAKEINTRESOURCEW(IDD_ABOUTBOX), owner, DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CAboutDlg::DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        // The texts that differ with the model come from its profile.
        const auto* self = reinterpret_cast<const CAboutDlg*>(lParam);
        SetWindowTextW(hWnd, WidenText(self->m_profile.aboutCaption).c_str());
        SetDlgItemTextW(hWnd, IDC_ABOUT_FIRST_LINE,
                        WidenText(self->m_profile.aboutFirstLine).c_str());
        return TRUE;
    }
    case WM_COMMAND:
        return EndOnOkOrCancel(hWnd, wParam);
    default:
        return FALSE;
    }
}

} // namespace knot::win32
