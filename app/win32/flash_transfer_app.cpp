#include "flash_transfer_app.h"

#include "flash_transfer_dlg.h"
#include "transfer_log.h"
#include "win32_text.h"
#include "window_commands.h"

#include <commctrl.h>
#include <shellapi.h>

#include <string>
#include <vector>

namespace knot::win32 {
using namespace knot::device;
using namespace knot::logic;

bool DumpSwitchGiven(const wchar_t* commandLine) {
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(commandLine, &count);
    if (arguments == nullptr) {
        return false;
    }
    std::vector<std::string> converted;
    for (int index = 0; index < count; ++index) {
        converted.push_back(NarrowText(arguments[index]));
    }
    LocalFree(arguments);
    return logic::DumpSwitchGiven(converted);
}

int CFlashTransferApp::InitInstance(const VariantProfile& profile, DriverPort& port,
                                    const wchar_t* commandLine) {
    // The common controls the window uses: the list view, the progress bar, the standard ones.
    INITCOMMONCONTROLSEX controls{sizeof(controls),
                                  ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    TransferLog log = TransferLog::AtPlatformPaths();
    CFlashTransferDlg dlg(profile, port, log, DumpSwitchGiven(commandLine));
    dlg.DoModal(); // the window's modal loop is the program's only loop; its result is not used
    return 0;
}

} // namespace knot::win32
