// The --model option shared by the commands that need a unit model: "q" or "p", mapped to that
// model's profile.
#pragma once

#include <string>

namespace CLI {
class App;
}

namespace knot::core {
struct VariantProfile;
} // namespace knot::core

namespace knot::station {
using namespace knot::core;

// Adds the required option --model q|p to `command`, storing the choice in `model`.
void AddModelOption(CLI::App& command, std::string& model);

// The accepted choice in lower case ("Q" gives "q").
std::string NormaliseModel(const std::string& model);

// The profile of a model the option accepted ("q" or "p").
const VariantProfile& ProfileForModel(const std::string& model);

} // namespace knot::station
