// Where a program's commands get their driver port: each call makes one of its own (a lane's
// session, the station's watch, a listing). knot-fdt's main hands its commands the machine's
// factory (CreateUnitDriverPort); tests hand them ports onto in-process units.
#pragma once

#include "driver_port.h"

#include <functional>
#include <memory>

namespace knot::device {
using DriverPortFactory = std::function<std::unique_ptr<DriverPort>()>;

} // namespace knot::device
