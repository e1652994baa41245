#include "flash_transfer_app.h"

#include "flash_transfer_dlg.h"
#include "transfer_log.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cwchar>

namespace {
constexpr const wchar_t* kDumpSwitch = L"/FILE";
} // namespace

bool DumpSwitchGiven(const wchar_t* commandLine) {
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(commandLine, &count);
    if (arguments == nullptr) {
        return false;
    }
    const bool given = count >= 2 && std::wcscmp(arguments[1], kDumpSwitch) == 0;
    LocalFree(arguments);
    return given;
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
