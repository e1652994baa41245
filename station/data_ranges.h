// The address ranges of an S-Record file that hold data: where its S1, S2 and S3 records store
// bytes, merged where they touch, collected while the loader reads the file.
#pragma once

#include "firmware_image.h"

#include <cstdint>
#include <vector>

namespace knot::station {
using namespace knot::core;

struct DataRange {
    const char* region;  // "cpu" or "flash"
    std::uint32_t first; // S-Record address of the first byte
    std::uint32_t last;  // S-Record address of the last byte
};

// Handed to loadSRecordFile; afterwards Ranges() gives what the records that were stored cover.
class DataRangeCollector : public StoredRecordObserver {
  public:
    void OnRecordStored(std::uint32_t start, std::uint32_t count) override;

    // Sorted by address (so CPU before flash) and merged where ranges of one region touch.
    std::vector<DataRange> Ranges() const;

  private:
    std::vector<DataRange> m_ranges; // in file order; the last one grows while records follow on
};

} // namespace knot::station
