#include "station_app.h"

#include "machine_text.h"
#include "station_dlg.h"
#include "transfer_log.h"

#include <commctrl.h>

namespace knot::win32 {

int CStationApp::InitInstance(DriverPortFactory ports, const wchar_t* commandLine) {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    TransferLog log = TransferLog::AtPlatformPaths();
    CStationDlg dlg(std::move(ports), log, MachineCodePageArguments(commandLine));
    const INT_PTR status = dlg.DoModal();
    return status < 0 ? 1 : static_cast<int>(status);
}

} // namespace knot::win32
