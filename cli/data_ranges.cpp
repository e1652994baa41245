#include "data_ranges.h"

#include "exclusive_file.h"
#include "srecord_record.h"
#include "text_stream.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string_view>

std::vector<DataRange> FindDataRanges(const std::string& path) {
    std::vector<DataRange> ranges;
    std::FILE* file = OpenExclusive(path.c_str(), "rb");
    if (!file) {
        return ranges;
    }
    auto reader = std::make_unique<TextLineReader>(file);
    char line[READ_BUFFER_SIZE];
    DataRecord record;
    RejectReason reason = RejectReason::None;
    while (std::size_t length = reader->ReadLine(line, MAX_READ_CHARS)) {
        RecordVerdict verdict = JudgeRecord(line, length, record, reason);
        if (verdict == RecordVerdict::Reject) {
            break;
        }
        if (verdict == RecordVerdict::Data && record.dataCount > 0) {
            bool cpu = record.start < CPU_REGION_SIZE;
            ranges.push_back({cpu ? "cpu" : "flash", record.start,
                              record.start + static_cast<std::uint32_t>(record.dataCount) - 1});
        }
    }
    std::fclose(file);

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
