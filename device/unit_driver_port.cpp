#include "unit_driver_port.h"

#ifdef _WIN32
#include "win32_driver_port.h"
#else
#include "sim_driver_port.h"
#endif

namespace knot::device {
std::unique_ptr<DriverPort> CreateUnitDriverPort() {
#ifdef _WIN32
    return std::make_unique<Win32DriverPort>();
#else
    return std::make_unique<SimDriverPort>(); // the simulator stands for the driver here
#endif
}

} // namespace knot::device
