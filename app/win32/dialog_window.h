// A window made from a dialog template and served by a C++ object: the object is kept in the
// window's DWLP_USER from WM_INITDIALOG on, and every message after that one is handed to its
// OnMessage until WM_NCDESTROY. The transfer window and the station window are built on it; the
// About boxes share how they close.
#pragma once

#include "windows_headers.h"

namespace knot::win32 {

class CDialogWindow {
  public:
    CDialogWindow(const CDialogWindow&) = delete;
    CDialogWindow& operator=(const CDialogWindow&) = delete;

  protected:
    CDialogWindow() = default;
    ~CDialogWindow() = default;

    // Runs template `templateId` of `module` modally, served by this object.
    INT_PTR RunModal(HINSTANCE module, int templateId, HWND owner);
    // Creates the window of template `templateId` of `module` without a loop of its own, served
    // by this object; nullptr when the template cannot be made into a window.
    HWND CreateModeless(HINSTANCE module, int templateId, HWND owner);
    // Ends the modal loop with `result`, or destroys the window that was created modeless.
    void CloseDialog(INT_PTR result);

    // The window, from WM_INITDIALOG until WM_NCDESTROY.
    HWND m_hWnd = nullptr;
    bool m_bModal = false; // RunModal's window, not CreateModeless's

  private:
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    // Every message from WM_INITDIALOG on, but WM_NCDESTROY.
    virtual INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;
};

// An About box's WM_COMMAND: OK, Escape and the close box end it with their id (TRUE); any other
// command is left to the dialog manager (FALSE).
INT_PTR EndOnOkOrCancel(HWND hWnd, WPARAM wParam);

} // namespace knot::win32
