#include "flash_transfer_app.h"

#include "flash_transfer_dlg.h"
#include "transfer_log.h"
#include "window_commands.h"

#include <string>
#include <vector>

namespace knot::qt {
using namespace knot::device;
using namespace knot::logic;

namespace {

// The command line as the program was given it. Qt takes its own options (-reverse, -style …)
// out of argv while the application object is built, which would move a later "/FILE" first.
QStringList g_originalArguments;

char** RememberCommandLine(int argc, char** argv) {
    for (int i = 0; i < argc; ++i) {
        g_originalArguments << QString::fromLocal8Bit(argv[i]);
    }
    return argv;
}

} // namespace

CFlashTransferApp::CFlashTransferApp(int& argc, char** argv)
    : QApplication(argc, RememberCommandLine(argc, argv)) {}

int CFlashTransferApp::InitInstance(const VariantProfile& profile, DriverPort& port) {
    // Qt's widgets need no set-up for embedded controls or the three-dimensional look.
    TransferLog log = TransferLog::AtPlatformPaths();
    CFlashTransferDlg dlg(profile, port, log, DumpSwitchGiven(g_originalArguments));
    dlg.exec(); // the window's modal loop is the program's only loop; its result is not used
    return 0;
}

bool DumpSwitchGiven(const QStringList& arguments) {
    std::vector<std::string> converted;
    for (const QString& argument : arguments) {
        converted.push_back(argument.toStdString());
    }
    return logic::DumpSwitchGiven(converted);
}

} // namespace knot::qt
