// Renders the main window of one model to a PNG file, as the README shows it: a simulated unit
// plugged in and identified, and (optionally) an S-Record file loaded.
// Usage: knot-window-shot q|p OUTPUT.png [FILE.mot]
#include "knot_names.h"

#include "flash_transfer_dlg.h"
#include "gui_test_support.h"
#include "loopback_driver_port.h"
#include "transfer_log.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPixmap>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 3 || (args[1] != QLatin1String("q") && args[1] != QLatin1String("p"))) {
        std::fprintf(stderr, "usage: knot-window-shot q|p OUTPUT.png [FILE.mot]\n");
        return 2;
    }
    QTemporaryDir logDir;
    TransferLog log(QDir(logDir.path()).filePath("debugZu.txt").toStdString(),
                    QDir(logDir.path()).filePath("debugZu.1.txt").toStdString());
    LoopbackDriverPort port;
    UnitConfig unit;
    unit.programName = args[1] == QLatin1String("p") ? "KNOTP100" : "KNOTQ100";
    unit.version = "V1.10";
    unit.checksum = 0x5A3C;
    port.Plug(unit);

    ModalAnswerer answerer; // closes the load's message box
    CFlashTransferDlg dlg(ProfileOf(args[1]), port, log, false);
    dlg.show();
    QElapsedTimer waited;
    waited.start();
    while (!dlg.Controller().DeviceReady() && waited.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    if (args.size() > 3) {
        dlg.Controller().OnFileChosen(QFile::encodeName(args[3]).toStdString());
    }
    QCoreApplication::processEvents();
    if (!dlg.grab().save(args[2])) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(args[2]));
        return 1;
    }
    dlg.reject();
    return 0;
}
