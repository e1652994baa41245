// KNOT-Station.exe: the station window over the machine's driver port, every lane with a port of
// its own.
#include "station_app.h"
#include "unit_driver_port.h"

#include "windows_headers.h"

#ifndef KNOT_RUNNING_MUTEX
#error "KNOT_RUNNING_MUTEX names the mutex a window program holds while it runs"
#endif

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    using namespace knot::win32;
    // Held until the program has ended (the system closes it with the process), so that the
    // installer and the uninstaller see a program of the family running up to its last moment.
    CreateMutexW(nullptr, FALSE, L"Global\\" KNOT_RUNNING_MUTEX);
    CStationApp theApp;
    return theApp.InitInstance(knot::device::CreateUnitDriverPort, GetCommandLineW());
}
