// KNOT-Q_FDT and KNOT-P_FDT on Windows: the same source, built once per model. Each build names
// its one profile with KNOT_PROGRAM_PROFILE (VariantQProfile or VariantPProfile).
#include "flash_transfer_app.h"
#include "unit_driver_port.h"
#include "variant_profile.h"

#ifndef KNOT_PROGRAM_PROFILE
#error "KNOT_PROGRAM_PROFILE names the profile of the program being built"
#endif

#ifndef KNOT_RUNNING_MUTEX
#error "KNOT_RUNNING_MUTEX names the mutex a window program holds while it runs"
#endif

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    using namespace knot::win32;
    // Held until the program has ended (the system closes it with the process), so that the
    // installer and the uninstaller see a program of the family running up to its last moment.
    CreateMutexW(nullptr, FALSE, L"Global\\" KNOT_RUNNING_MUTEX);
    CFlashTransferApp theApp;
    const std::unique_ptr<DriverPort> port = CreateUnitDriverPort();
    return theApp.InitInstance(KNOT_PROGRAM_PROFILE(), *port, GetCommandLineW());
}
