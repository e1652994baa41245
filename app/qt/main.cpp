// KNOT-Q_FDT and KNOT-P_FDT: the same source, built once per model. Each build names its one
// profile with KNOT_PROGRAM_PROFILE (VariantQProfile or VariantPProfile).
#include "flash_transfer_app.h"
#include "unit_driver_port.h"
#include "variant_profile.h"

#ifndef KNOT_PROGRAM_PROFILE
#error "KNOT_PROGRAM_PROFILE names the profile of the program being built"
#endif

int main(int argc, char** argv) {
    using namespace knot::qt;
    CFlashTransferApp theApp(argc, argv);
    const std::unique_ptr<DriverPort> port = CreateUnitDriverPort();
    return theApp.InitInstance(KNOT_PROGRAM_PROFILE(), *port);
}
