// The main window on Windows: dialog template 102 with the model's menu bar, the identity list,
// Start, the status line and the progress bar. It only shows and forwards: the work is
// FlashTransferController's, as in the Qt window.
#pragma once

#include "dialog_window.h"
#include "flash_transfer_controller.h"
#include "flash_transfer_view.h"
#include "window_commands.h"

#include "windows_headers.h"

#include <memory>
#include <optional>
#include <string>

namespace knot::win32 {
using namespace knot::logic;

class CFlashTransferDlg : public FlashTransferView, private WindowDialogs, private CDialogWindow {
  public:
    // `profile`, `port` and `log` must outlive the window.
    CFlashTransferDlg(const VariantProfile& profile, DriverPort& port, TransferLog& log,
                      bool dumpImages, LogicServices services = {});
    ~CFlashTransferDlg() override;
    CFlashTransferDlg(const CFlashTransferDlg&) = delete;
    CFlashTransferDlg& operator=(const CFlashTransferDlg&) = delete;

    // Runs the window modally until its close action; the program's only message loop.
    INT_PTR DoModal(HWND owner = nullptr);
    // Creates the window without running a loop (tests pump it themselves). The close action
    // then destroys it. Returns nullptr when the template cannot be made into a window.
    HWND Create(HWND owner = nullptr);

    HWND GetSafeHwnd() const { return m_hWnd; }
    bool IsClosed() const { return m_bClosed; }
    FlashTransferController& Controller() { return *m_controller; }

    // FlashTransferView
    void SetStatusText(std::string_view text) override;
    void SetProgressRange(int maximum) override;
    void SetProgressPos(int position) override;
    void EnableStart(bool enable) override;
    void EnableOpenItem(bool enable) override;
    void EnableInitializeItem(bool enable) override;
    void ClearIdentityList() override;
    void SetIdentityText(int row, int column, std::string_view text) override;
    void ShowMessage(std::string_view caption, std::string_view text, MessageIcon icon) override;
    void BeginWaitCursor() override;
    void EndWaitCursor() override;
    void PostWindowMessage(WindowMessage message, std::uintptr_t wParam) override;
    void RefreshWindow() override;

  private:
    // CDialogWindow
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    BOOL OnInitDialog();
    void AttachMenuBar();
    // Sizes the icon and the bold font (of Start, the list's rows and the status text) to m_dpi.
    void ApplyDpi();
    void LoadWindowIcon();
    void MakeBoldFont();
    void InitializeList();
    void SizeListColumns(); // the list's two columns, to m_dpi
    // The window moved to a monitor of another scale: it takes `suggested` and scales again.
    void OnDpiChanged(UINT dpi, const RECT& suggested);
    void OnCommand(UINT commandId);
    // WindowDialogs
    std::optional<std::string> ChooseSRecordFile() override;
    void ShowAboutBox() override;
    void OnPaint();
    void CloseAction();
    // The width in pixels of the bar's filled part at `position` on the current range.
    int FilledWidth(int position) const;
    void ApplyHeldProgressPos();

    const VariantProfile& m_profile;
    DriverPort& m_port;
    TransferLog& m_log;
    bool m_bDumpImages;
    LogicServices m_services;
    std::unique_ptr<FlashTransferController> m_controller;

    HICON m_hIcon = nullptr;
    int m_iconSize = 0;
    HWND m_status = nullptr;
    HWND m_progress = nullptr;
    HWND m_start = nullptr;
    HWND m_list = nullptr;
    HFONT m_boldFont = nullptr;
    UINT m_dpi = USER_DEFAULT_SCREEN_DPI; // the DPI the window is sized for now
    // Where the dialog manager placed the controls, at the DPI it laid the template out for.
    UINT m_layoutDpi = USER_DEFAULT_SCREEN_DPI;
    RECT m_layout[4] = {};       // the list, Start, the bar and the status text, in client pixels
    int m_progressMaximum = 100; // the bar's range as last set
    // A position set but not yet given to the bar, because it would not change what it shows.
    std::optional<int> m_heldProgressPos;
    bool m_bClosed = false;
    bool m_bActive = false; // the active window, as the last activation message said
    int m_waitCursorDepth = 0;
};

// The module that holds the window's templates, icon and strings.
HINSTANCE ResourceModule();

} // namespace knot::win32
