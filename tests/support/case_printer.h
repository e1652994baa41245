// Lets GoogleTest show a table-driven case by its name, in test listings (and so in the test
// names CTest shows) and in failure messages, instead of dumping the case's bytes. A suite
// brings the printers next to its case types with `using knot_test::PrintTo;`.
#pragma once

#include "knot_names.h"

#include <concepts>
#include <ostream>
#include <string_view>
#include <tuple>

namespace knot_test {

template <typename Case>
concept NamedCase = requires(const Case& c) {
    { c.name } -> std::convertible_to<std::string_view>;
};

template <NamedCase Case> void PrintTo(const Case& c, std::ostream* out) {
    *out << c.name;
}

// A case run for one model: "KNOT-Q AcceptedAtOnce".
template <typename Profile, NamedCase Case>
void PrintTo(const std::tuple<const Profile*, Case>& value, std::ostream* out) {
    *out << std::get<0>(value)->modelName << ' ' << std::get<1>(value).name;
}

} // namespace knot_test

// A model's profile is shown by its model name ("KNOT-Q"), not by its address.
template <typename Profile>
requires requires(const Profile& p) {
    { p.modelName } -> std::convertible_to<const char*>;
}
void PrintTo(const Profile* profile, std::ostream* out) {
    *out << profile->modelName;
}
