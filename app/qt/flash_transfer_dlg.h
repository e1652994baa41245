// The main window: the identity list, Start, the status line, the progress bar and the menu bar
// of the model. It only shows and forwards: the work is FlashTransferController's.
#pragma once

#include "flash_transfer_controller.h"
#include "flash_transfer_view.h"
#include "window_commands.h"

#include <QDialog>
#include <QFont>

#include <cstdint>
#include <map>
#include <memory>

class QAction;
class QLabel;
class QMenuBar;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace knot::qt {
using namespace knot::logic;

class CFlashTransferDlg : public QDialog, public FlashTransferView, private WindowDialogs {
    Q_OBJECT

  public:
    // Runs the window's initialisation, which starts watching for a unit on `port`.
    // `port` and `log` must outlive the window.
    CFlashTransferDlg(const VariantProfile& profile, DriverPort& port, TransferLog& log,
                      bool dumpImages, LogicServices services = {}, QWidget* parent = nullptr);
    ~CFlashTransferDlg() override;

    // A command of the menu bar, the Start button or the keyboard, by its id.
    void OnCommand(int commandId);

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

  public slots:
    // Both the dialog's OK (Enter away from Start) and its cancel (Escape, close box) close.
    void accept() override;
    void reject() override;

  protected:
    bool event(QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

  private:
    // The menu item of `commandId`, or nullptr when this model's menu bar has none.
    QAction* menuItem(int commandId) const;
    void CreateControls();
    void CreateMenuBar();
    void MakeBoldFont();
    void InitializeList();
    void CloseAction();
    // WindowDialogs
    std::optional<std::string> ChooseSRecordFile() override;
    void ShowAboutBox() override;

    const VariantProfile& m_profile;
    // The controls, each named after its member, so that tools and tests find them.
    QTableWidget* m_list = nullptr;
    QPushButton* m_start = nullptr;
    QLabel* m_status = nullptr;
    QProgressBar* m_progress = nullptr;
    QMenuBar* m_menuBar = nullptr;
    std::map<int, QAction*> m_menuItems;
    QFont m_boldFont;
    bool m_bClosed = false;
    bool m_listChanged = false; // since the last refresh
    int m_waitCursorDepth = 0;
    std::unique_ptr<FlashTransferController> m_controller;
};

} // namespace knot::qt
