#include "station_about_dlg.h"

#include "dialog_window.h"
#include "knot_version.h"
#include "station_resource_ids.h"

namespace knot::win32 {

INT_PTR CStationAboutDlg::DoModal(HWND owner) {
    return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_STATION_ABOUT), owner,
                           DialogProc, 0);
}

INT_PTR CALLBACK CStationAboutDlg::DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        SetDlgItemTextW(hWnd, IDC_STATION_ABOUT_VERSION, L"Version " KNOT_VERSION_TEXT);
        return TRUE;
    case WM_COMMAND:
        return EndOnOkOrCancel(hWnd, wParam);
    default:
        return FALSE;
    }
}

} // namespace knot::win32
