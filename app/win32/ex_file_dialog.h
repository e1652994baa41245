// The file chooser: the platform's open dialog for *.mot files with child template 131, whose
// hook hides the file-name box, the file-type list and their labels, so that a file is picked
// only by clicking it in the folder view.
#pragma once

#include "windows_headers.h"

#include <string>

namespace knot::win32 {
// The open dialog's settings: hidden read-only box, child template, existing files only,
// explorer style, resizable.
inline constexpr DWORD CHOOSER_FLAGS =
    OFN_HIDEREADONLY | OFN_ENABLETEMPLATE | OFN_FILEMUSTEXIST | OFN_EXPLORER | OFN_ENABLESIZING;
static_assert(CHOOSER_FLAGS == 0x881044);

class CExFileDialog {
  public:
    explicit CExFileDialog(HWND owner);

    // Runs the chooser; true when the operator chose a file with OK.
    bool DoModal();
    // The chosen file's full path, in the machine's code page (as the loader opens it).
    std::string GetPathName() const { return m_path; }

  private:
    static UINT_PTR CALLBACK HookProc(HWND child, UINT message, WPARAM wParam, LPARAM lParam);

    HWND m_owner;
    std::string m_path;
};

} // namespace knot::win32
