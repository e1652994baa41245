// The run records the tests read from knot-fdt: each one parsed is also kept, one line per record,
// in a file of the test's own under KNOT_RECORDS_DIR, which the test records_schema checks against
// docs/record.schema.json once every test that writes records has run.
#pragma once

#include "knot_names.h"

#include <nlohmann/json.hpp>

#include <string>

namespace knot_test {

// The record `text` holds (one line, or a --json answer indented over several); a text that is
// not one JSON value fails the test that reads it.
nlohmann::json ParseRecord(const std::string& text);

} // namespace knot_test
