#include "model_option.h"

#include "variant_profile.h"

#include <CLI/CLI.hpp>

namespace knot::station {
using namespace knot::core;

void AddModelOption(CLI::App& command, std::string& model) {
    command.add_option("--model", model, "unit model: q (KNOT-Q) or p (KNOT-P)")
        ->required()
        ->check(CLI::IsMember({"q", "p"}, CLI::ignore_case));
}

std::string NormaliseModel(const std::string& model) {
    return (model == "P" || model == "p") ? "p" : "q";
}

const VariantProfile& ProfileForModel(const std::string& model) {
    return NormaliseModel(model) == "p" ? VariantPProfile() : VariantQProfile();
}

} // namespace knot::station
