// The one factory of the machine's driver port, used by the windows and by knot-fdt: the vendor
// driver's on Windows, the unit simulator's elsewhere.
#pragma once

#include "driver_port.h"

#include <memory>

namespace knot::device {
std::unique_ptr<DriverPort> CreateUnitDriverPort();

} // namespace knot::device
