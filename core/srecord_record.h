// One read of an S-Record file judged as a record: skipped text, a data record (S1, S2, S3)
// with its decoded fields, or a record that stops the load.
#pragma once

#include "firmware_image.h"

#include <cstddef>
#include <cstdint>

// The largest number of data bytes a record can announce (byte count 0xFF, two address bytes).
inline constexpr int MAX_RECORD_DATA = 0xFF - 2 - 1;
// One read takes at most this many characters.
inline constexpr std::size_t MAX_READ_CHARS = 513;

struct DataRecord {
    std::uint32_t start = 0; // the record's address
    int count = 0;           // the byte count field
    int dataCount = 0;       // count minus address bytes minus the checksum byte; may be <= 0
    bool checksumGood = false;
    std::uint8_t data[MAX_RECORD_DATA];
};

enum class RecordVerdict : std::uint8_t { Skip, Data, Reject };

// Judges the `length` characters of one read. For Data the record's fields are filled in; for
// Reject `reason` says why. Only the characters of the read are looked at.
RecordVerdict JudgeRecord(const char* text, std::size_t length, DataRecord& record,
                          RejectReason& reason);
