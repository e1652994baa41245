#include "identity_text.h"

#include "operator_texts.h"

#include <cstdio>

namespace knot::cli {
using namespace knot::logic;

std::string PrintableIdentity(const std::string& value) {
    std::string shown = value;
    for (char& c : shown) {
        auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte > 0x7E) {
            c = '?';
        }
    }
    return shown;
}

void PrintIdentityRows(const IdentityValues& values) {
    for (int row = 0; row < IDENTITY_ROW_COUNT; ++row) {
        std::printf("%-13s %s\n", IDENTITY_ROW_LABELS[row], PrintableIdentity(values[row]).c_str());
    }
}

nlohmann::ordered_json IdentityJson(const IdentityValues& values) {
    nlohmann::ordered_json rows;
    for (int row = 0; row < IDENTITY_ROW_COUNT; ++row) {
        rows[IDENTITY_ROW_LABELS[row]] = PrintableIdentity(values[row]);
    }
    return rows;
}

} // namespace knot::cli
