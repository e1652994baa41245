// The main window's commands by id, for both windows.
#include "window_commands.h"

#include "flash_transfer_controller.h"
#include "variant_profile.h"

namespace knot::logic {
using namespace knot::core;

namespace {

void OpenSRecord(FlashTransferController& controller, WindowDialogs& dialogs) {
    if (!controller.CanOpenFile()) {
        return; // no chooser while a download runs
    }
    const std::optional<std::string> path = dialogs.ChooseSRecordFile();
    // Cancelled: the image, imageLoaded and Start stay as they are. A window closed while the
    // chooser was open loads nothing.
    if (path && !controller.IsClosed()) {
        controller.OnFileChosen(*path);
    }
}

} // namespace

void RunWindowCommand(int commandId, FlashTransferController& controller, WindowDialogs& dialogs) {
    switch (commandId) {
    case ID_FILE_OPEN:
        OpenSRecord(controller, dialogs);
        break;
    case ID_DATA_INITIALIZE:
        controller.OnDataInitialize();
        break;
    case ID_APP_ABOUT_P:
    case ID_APP_ABOUT_Q:
    case ID_APP_ABOUT_R:
    case ID_APP_ABOUT_V:
        dialogs.ShowAboutBox();
        break;
    case IDC_START:
        controller.OnStartDownload();
        break;
    case ID_HELP:
    default:
        break;
    }
}

bool DumpSwitchGiven(std::span<const std::string> arguments) {
    return arguments.size() >= 2 && arguments[1] == DUMP_SWITCH;
}

} // namespace knot::logic
