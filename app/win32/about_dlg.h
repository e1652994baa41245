// The About box: template 100 with the model's caption and first line; closed with its close
// box or Escape.
#pragma once

#include "windows_headers.h"

namespace knot::core {
struct VariantProfile;
} // namespace knot::core

namespace knot::win32 {
using namespace knot::core;

class CAboutDlg {
  public:
    explicit CAboutDlg(const VariantProfile& profile) : m_profile(profile) {}
    INT_PTR DoModal(HWND owner);

  private:
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

    const VariantProfile& m_profile;
};

} // namespace knot::win32
