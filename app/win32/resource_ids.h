// Resource and control ids of the native window, shared by the resource script and the C++ code
// (plain defines, so that the resource compiler reads them too).
#pragma once

// Templates, icon and manifest.
#define IDD_ABOUTBOX 100
#define IDD_FLASH_TRANSFER_DIALOG 102
#define IDR_MAINFRAME 128 // the large application icon of the model
#define IDD_CHOOSER_CHILD 131

// Controls of the main window and its help command.
#include "window_ids.h"

namespace knot::win32 {
using namespace knot::logic;

// The two text lines of the About box.
#define IDC_ABOUT_FIRST_LINE 1010
#define IDC_ABOUT_SECOND_LINE 1011

// Controls of the platform's open dialog that the chooser hides.
#define IDC_CHOOSER_FILE_NAME_BOX 1152
#define IDC_CHOOSER_FILE_TYPE_LABEL 1089
#define IDC_CHOOSER_FILE_NAME_LABEL 1090
#define IDC_CHOOSER_FILE_TYPE_LIST 1136
// The file-name box as today's explorer-style chooser makes it (a combo box in place of 1152).
#define IDC_CHOOSER_FILE_NAME_COMBO 1148

} // namespace knot::win32
