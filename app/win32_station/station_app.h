// The start-up of KNOT-Station.exe: the kiosk command line read from the wide one, the station
// window run modally, and the program's exit status.
#pragma once

#include "driver_port_factory.h"

namespace knot::win32 {
using namespace knot::device;

class CStationApp {
  public:
    // Lanes make their ports with `ports`. Returns 0 once the window has closed, 1 when the
    // command line was refused.
    int InitInstance(DriverPortFactory ports, const wchar_t* commandLine);
};

} // namespace knot::win32
