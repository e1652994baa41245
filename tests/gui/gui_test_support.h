// Helpers of the window tests: answering the modal windows the code under test opens, and
// writing small S-Record files.
#pragma once

#include "knot_names.h"

#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <vector>

namespace knot::core {
struct VariantProfile;
}

// The profile of model "q" or "p".
const VariantProfile& ProfileOf(const QString& model);

// Watches for modal windows and answers each as it appears, from inside its nested loop:
// message boxes are recorded and closed with OK, the file chooser picks `fileToChoose` (or is
// cancelled when that is empty), the About box is recorded and closed with Escape.
class ModalAnswerer : public QObject {
    Q_OBJECT

  public:
    struct Box {
        QString caption;
        QString text;
        QMessageBox::Icon icon;
    };

    ModalAnswerer();

    QString fileToChoose;
    // Runs once for each modal window (message box, chooser, About box) while it is still
    // open, inside its nested loop, before it is answered.
    std::function<void(QWidget&)> whileModalOpen;

    std::vector<Box> boxes;
    int choosersShown = 0;
    int choosersCancelled = 0;
    std::vector<QString> aboutCaptions;
    std::vector<QString> aboutFirstLines;

    QStringList BoxTexts() const;

  private:
    void AnswerModal();

    QTimer m_timer;
    bool m_answering = false;
};

// Writes an S-Record file of model `model` into `path`: `cpuBytes` bytes at CPU address 0 and,
// when `flashBytes` > 0, that many bytes at the start of the model's flash addresses beyond
// the first flash block. Returns false when the file could not be written.
bool WriteSRecordFile(const QString& path, const VariantProfile& profile, int cpuBytes,
                      int flashBytes);
// Writes a file whose only record is malformed.
bool WriteRejectedFile(const QString& path);

#include "flash_transfer_dlg.h"
#include "loopback_driver_port.h"
#include "transfer_log.h"

#include <QTemporaryDir>

#include <memory>

// A window over an in-process loopback port, its trace in a temporary folder, and the timed
// wait after the commit on a clock that does not sleep (its ticks are counted).
struct WindowBench {
    WindowBench();

    std::unique_ptr<CFlashTransferDlg> Open(const QString& model, bool dumpImages = false);
    // A unit that identifies itself; returns its device number.
    std::int32_t PlugUnit();
    QString FilePath(const QString& name) const { return folder.filePath(name); }

    QTemporaryDir folder;
    TransferLog log;
    LoopbackDriverPort port;
    int sleeps = 0;
};

// The window's controls, found by their names as any tool that inspects the window finds them.
QTableWidget* ListOf(const CFlashTransferDlg& dlg);
QPushButton* StartOf(const CFlashTransferDlg& dlg);
QLabel* StatusOf(const CFlashTransferDlg& dlg);
QProgressBar* ProgressOf(const CFlashTransferDlg& dlg);
QMenuBar* MenuBarOf(const CFlashTransferDlg& dlg);
// The menu item of `commandId`, or nullptr when the model's menu bar has none.
QAction* MenuItemOf(const CFlashTransferDlg& dlg, int commandId);
// The text of the identity row `row` (program name, version, checksum), empty when it has none.
QString Cell(const CFlashTransferDlg& dlg, int row);
// Whether the identity rows show their placeholders, as with no unit.
bool ShowsPlaceholders(const CFlashTransferDlg& dlg);
// The lines of the port's capture that contain `part`.
std::size_t CountCaptureLinesWith(const LoopbackDriverPort& port, const QString& part);
