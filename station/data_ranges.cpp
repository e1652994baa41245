#include "data_ranges.h"

#include <algorithm>
#include <string_view>

namespace knot::station {
namespace {

constexpr const char* CPU_REGION_NAME = "cpu";
constexpr const char* FLASH_REGION_NAME = "flash";

// Whether `range` can take in a range of the same region that starts at `first`.
bool Touches(const DataRange& range, std::uint32_t first) {
    return first >= range.first && first <= std::uint64_t{range.last} + 1;
}

} // namespace

void DataRangeCollector::OnRecordStored(std::uint32_t start, std::uint32_t count) {
    const char* region = start < CPU_REGION_SIZE ? CPU_REGION_NAME : FLASH_REGION_NAME;
    const std::uint32_t last = start + (count - 1);
    // Files mostly hold records in address order: extend the range in hand while they follow on.
    if (!m_ranges.empty() && m_ranges.back().region == region && Touches(m_ranges.back(), start)) {
        m_ranges.back().last = std::max(m_ranges.back().last, last);
        return;
    }
    m_ranges.push_back({region, start, last});
}

std::vector<DataRange> DataRangeCollector::Ranges() const {
    std::vector<DataRange> ranges = m_ranges;
    // CPU addresses all lie below flash ones, so sorting by address orders by region too.
    std::sort(ranges.begin(), ranges.end(),
              [](const DataRange& a, const DataRange& b) { return a.first < b.first; });
    std::vector<DataRange> merged;
    for (const DataRange& range : ranges) {
        if (!merged.empty() && std::string_view(merged.back().region) == range.region &&
            range.first <= std::uint64_t{merged.back().last} + 1) {
            merged.back().last = std::max(merged.back().last, range.last);
        } else {
            merged.push_back(range);
        }
    }
    return merged;
}

} // namespace knot::station
