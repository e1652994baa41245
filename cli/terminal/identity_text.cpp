// The identity rows on the terminal.
#include "identity_text.h"

#include "lane_record.h"
#include "operator_texts.h"

#include <cstdio>

namespace knot::cli {
using namespace knot::logic;
using namespace knot::station;

void PrintIdentityRows(const IdentityValues& values) {
    for (int row = 0; row < IDENTITY_ROW_COUNT; ++row) {
        std::printf("%-13s %s\n", IDENTITY_ROW_LABELS[row], PrintableIdentity(values[row]).c_str());
    }
}

} // namespace knot::cli
