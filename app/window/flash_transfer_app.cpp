#include "flash_transfer_app.h"

#include "flash_transfer_dlg.h"
#include "transfer_log.h"

CFlashTransferApp::CFlashTransferApp(int& argc, char** argv) : QApplication(argc, argv) {}

int CFlashTransferApp::InitInstance(const VariantProfile& profile, DriverPort& port) {
    // Qt's widgets need no set-up for embedded controls or the three-dimensional look.
    TransferLog log = TransferLog::AtPlatformPaths();
    CFlashTransferDlg dlg(profile, port, log, DumpSwitchGiven(arguments()));
    dlg.exec(); // the window's modal loop is the program's only loop; its result is not used
    return 0;
}

bool DumpSwitchGiven(const QStringList& arguments) {
    return arguments.size() >= 2 && arguments.at(1) == QLatin1String(DUMP_SWITCH);
}
