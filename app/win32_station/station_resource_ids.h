// Resource, control and command ids of the station window, shared by its resource script and its
// code (plain defines, so that the resource compiler reads them too).
#pragma once

// Templates, menu and icon.
#define IDD_STATION_DIALOG 200
#define IDD_STATION_ABOUT 201
#define IDR_STATION_MENU 202
#define IDR_STATION_ICON 128 // the first icon: the one Windows shows for the program's file

// The main window's controls, top to bottom.
#define IDC_STATION_IMAGE 1201   // the image, its model, short digest and blocks
#define IDC_STATION_DIGEST 1202  // the whole digest
#define IDC_STATION_SHIFT 1203   // the report file, the operator and the work order
#define IDC_STATION_TALLY 1204   // passed, failed, interrupted, in progress
#define IDC_STATION_RECORDS 1205 // the last few records
#define IDC_STATION_STATUS 1206  // what the station does now
#define IDC_STATION_TILE 1300    // the first tile; the others follow it

// The About box's version line.
#define IDC_STATION_ABOUT_VERSION 1210

// Menu commands.
#define ID_STATION_OPEN 32801
#define ID_STATION_EXIT 32802
#define ID_STATION_MODEL_Q 32803
#define ID_STATION_MODEL_P 32804
#define ID_STATION_START 32805
#define ID_STATION_STOP 32806
#define ID_STATION_ABOUT 32807

namespace knot::win32 {} // namespace knot::win32
