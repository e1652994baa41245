// Help > About KNOT Station: template 201 with the station's icon, name, version and copyright;
// closed with OK, its close box or Escape.
#pragma once

#include "windows_headers.h"

namespace knot::win32 {

class CStationAboutDlg {
  public:
    INT_PTR DoModal(HWND owner);

  private:
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
};

} // namespace knot::win32
