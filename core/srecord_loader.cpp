#include "srecord_loader.h"

#include "exclusive_file.h"
#include "region_dump.h"
#include "srecord_record.h"
#include "text_stream.h"
#include "variant_profile.h"

#include <cerrno>
#include <cstring>
#include <utility>

namespace knot::core {
namespace {

constexpr std::int64_t CPU_LIMIT = CPU_REGION_SIZE - 1; // a CPU record's start + n must not pass it
constexpr std::int64_t FLASH_ADDRESS_START = CPU_REGION_SIZE; // records from here go to flash

// Turns the result so far (with its checksum warnings) into a refusal at `line`, of the record at
// `address` when the address is the reason.
LoadResult Rejection(LoadResult& result, std::uint64_t line, RejectReason reason,
                     std::int64_t address = 0) {
    result.kind = LoadResult::Rejected;
    result.line = line;
    result.reason = reason;
    result.address = static_cast<std::uint32_t>(address);
    return std::move(result);
}

LoadResult FileFailure(const std::string& fileName, int errorNumber) {
    LoadResult result;
    result.kind = LoadResult::FileError;
    result.file = fileName;
    result.error = SystemErrorText(errorNumber);
    return result;
}

// Rounds down to a multiple of a block, also below zero.
constexpr std::int64_t RoundDownToBlock(std::int64_t value) {
    return value & ~static_cast<std::int64_t>(DATA_BLOCK_SIZE - 1);
}

// Stores a record's `n` data bytes. Files mostly hold records of 16 or 32 bytes: a copy of such
// a fixed size is a few moves, where one of any size is a call.
void StoreData(std::uint8_t* to, const std::uint8_t* from, std::size_t n) {
    if (n == DATA_BLOCK_SIZE) {
        std::memcpy(to, from, DATA_BLOCK_SIZE);
    } else if (n == DATA_BLOCK_SIZE / 2) {
        std::memcpy(to, from, DATA_BLOCK_SIZE / 2);
    } else {
        std::memcpy(to, from, n);
    }
}

// Tells an observer of the stored data a run at a time: records that follow on one another, as
// most files' records do, make one report. A run never crosses from CPU to flash addresses: no
// CPU record reaches the last CPU address.
class StoredRuns {
  public:
    explicit StoredRuns(StoredRecordObserver* observer) : m_observer(observer) {}
    StoredRuns(const StoredRuns&) = delete;
    StoredRuns& operator=(const StoredRuns&) = delete;
    ~StoredRuns() { Flush(); }

    void Add(std::uint32_t start, std::uint32_t count) {
        if (m_count != 0 && std::uint64_t{m_start} + m_count == start) {
            m_count += count;
            return;
        }
        Flush();
        m_start = start;
        m_count = count;
    }

  private:
    void Flush() {
        if (m_observer != nullptr && m_count != 0) {
            m_observer->OnRecordStored(m_start, m_count);
        }
        m_count = 0;
    }

    StoredRecordObserver* m_observer;
    std::uint32_t m_start = 0;
    std::uint32_t m_count = 0;
};

} // namespace

const char* DescribeRejectReason(RejectReason reason) {
    switch (reason) {
    case RejectReason::None:
        return "no reason";
    case RejectReason::NotHexadecimal:
        return "the byte count, address or data holds a character that is not a hexadecimal digit";
    case RejectReason::LengthMismatch:
        return "the record's length does not match its byte count";
    case RejectReason::CpuRangeExceeded:
        return "the CPU record reaches beyond address 0x3FFFE";
    case RejectReason::FlashOutOfRange:
        return "the flash record lies outside flash offsets 0x0 to 0x7FFFE";
    case RejectReason::BelowFlashBase:
        return "the flash record starts below the flash base address";
    }
    return "unknown reason";
}

LoadResult FirmwareImage::loadSRecordFile(const std::string& path, bool writeDumps,
                                          const VariantProfile& profile,
                                          StoredRecordObserver* observer) {
    Reset();
    errno = 0;
    std::FILE* file = OpenExclusive(path.c_str(), "rb");
    if (!file) {
        return FileFailure(path, errno);
    }
    TextLineReader reader(file);
    LoadResult result = ReadRecords(reader, path, profile, observer);
    std::fclose(file);
    // The dumps come after the file is closed, so they may even replace it.
    DumpAfterLoad(result, writeDumps);
    return result;
}

LoadResult FirmwareImage::loadSRecordStream(std::FILE* file, const std::string& fileName,
                                            const VariantProfile& profile,
                                            StoredRecordObserver* observer, ReadTap tap) {
    Reset();
    TextLineReader reader(file, EndOfFileMark::EndsTheFile, std::move(tap));
    return ReadRecords(reader, fileName, profile, observer);
}

void FirmwareImage::DumpAfterLoad(LoadResult& result, bool writeDumps) {
    if (result.kind == LoadResult::Loaded && writeDumps && !WriteImageDumps(*this, result)) {
        imageLoaded = false;
    }
}

LoadResult FirmwareImage::ReadRecords(TextLineReader& reader, const std::string& fileName,
                                      const VariantProfile& profile,
                                      StoredRecordObserver* observer) {
    const std::int64_t flashBase = profile.flashBase;
    LoadResult result;
    DataRecord record;
    StoredRuns runs(observer);
    RejectReason reason = RejectReason::None;
    std::uint64_t lineNumber = 0;
    for (;;) {
        errno = 0;
        const std::string_view read = reader.NextRead(MAX_READ_CHARS);
        if (reader.failed()) {
            return FileFailure(fileName, errno);
        }
        if (read.empty()) {
            break;
        }
        ++lineNumber;
        RecordVerdict verdict = JudgeRecord(read.data(), read.size(), record, reason);
        if (verdict == RecordVerdict::Skip) {
            continue;
        }
        if (verdict == RecordVerdict::Reject) {
            return Rejection(result, lineNumber, reason);
        }

        const std::int64_t start = record.start;
        const std::int64_t n = record.dataCount;
        if (start < FLASH_ADDRESS_START) {
            if (start + n > CPU_LIMIT) {
                return Rejection(result, lineNumber, RejectReason::CpuRangeExceeded, start);
            }
            if (n > 0) {
                StoreData(CpuRegion.data() + start, record.data, static_cast<std::size_t>(n));
            }
        } else {
            // Each flash record is tested with its own end; the image keeps the furthest one.
            const std::int64_t extent = RoundDownToBlock(start + n - flashBase);
            if (start < flashBase) {
                return Rejection(result, lineNumber, RejectReason::BelowFlashBase, start);
            }
            if (extent < 0 || extent > FLASH_EXTENT_LIMIT) {
                return Rejection(result, lineNumber, RejectReason::FlashOutOfRange, start);
            }
            if (static_cast<std::uint32_t>(extent) > flashExtent) {
                flashExtent = static_cast<std::uint32_t>(extent);
            }
            if (n > 0) {
                StoreData(FlashRegion.data() + (start - flashBase), record.data,
                          static_cast<std::size_t>(n));
                flashDataStored = true;
            }
        }
        if (n > 0) {
            runs.Add(record.start, static_cast<std::uint32_t>(n));
        }
        if (!record.checksumGood) {
            result.badChecksumLines.push_back(lineNumber);
        }
    }

    imageLoaded = true;
    result.kind = LoadResult::Loaded;
    return result;
}

} // namespace knot::core
