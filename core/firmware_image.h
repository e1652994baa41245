// The in-memory firmware image: the CPU and flash regions filled from an S-Record file, and what
// the download reads from them. The loader itself lives in srecord_loader.cpp.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "text_stream.h"

namespace knot::core {
struct VariantProfile;

// Sizes the unit and the dump files rely on.
inline constexpr std::size_t CPU_REGION_SIZE = 0x40000;   // S-Record addresses 0x00000..0x3FFFF
inline constexpr std::size_t FLASH_REGION_SIZE = 0x80000; // flash offsets 0..0x7FFFF
inline constexpr std::size_t DATA_BLOCK_SIZE = 32;        // bytes of one data block
inline constexpr std::size_t CPU_BLOCK_COUNT = CPU_REGION_SIZE / DATA_BLOCK_SIZE; // 8192
inline constexpr std::uint32_t FLASH_EXTENT_LIMIT = 0x7FFE0; // largest flashExtent that loads
inline constexpr std::uint8_t CPU_FILL = 0xFF;               // CpuRegion at the start of each load
inline constexpr std::uint8_t FLASH_FILL = 0x00; // FlashRegion at the start of each load

// The dump files written into the current directory after a load when dumps are asked for.
inline constexpr const char* CPU_DUMP_FILE_NAME = "CPU_Mem.bin";
inline constexpr const char* FLASH_DUMP_FILE_NAME = "Flash_Mem.bin";

// Why a record stopped a load.
enum class RejectReason : std::uint8_t {
    None,
    NotHexadecimal,   // byte count, address or a data position holds no hexadecimal digit
    LengthMismatch,   // the record's length does not match its byte count
    CpuRangeExceeded, // a CPU record reaches beyond 0x3FFFE
    FlashOutOfRange,  // a flash record lies outside flash offsets 0 to 0x7FFFE
    BelowFlashBase,   // a flash record starts below the profile's flashBase
};

// The outcome of one load.
struct LoadResult {
    enum Kind : std::uint8_t { Loaded, Rejected, FileError };

    Kind kind = Loaded;
    // Rejected: the 1-based number of the read (line, or piece of an over-long line) that failed.
    std::uint64_t line = 0;
    RejectReason reason = RejectReason::None;
    // FileError: the file that could not be opened, read or written, and the system's error text.
    // A dump file is named as written, relative to the working directory.
    std::string file;
    std::string error;
    // FileError: whether that file was a dump being written (otherwise the S-Record file read).
    bool dumpFile = false;
    // Rejected for a record outside the address map (CpuRangeExceeded, FlashOutOfRange,
    // BelowFlashBase): the record's address as the file gives it.
    std::uint32_t address = 0;
    // Reads whose data record carries a wrong checksum; such records load all the same.
    std::vector<std::uint64_t> badChecksumLines;

    bool operator==(Kind other) const { return kind == other; }
};

// Told of the data the loader stores, in file order, so that a caller can learn where the
// file's data lies in the same pass that loads it.
class StoredRecordObserver {
  public:
    virtual ~StoredRecordObserver() = default;
    // `count` (> 0) data bytes from S-Record address `start` passed every check: one record's,
    // or those of records that follow on one another.
    virtual void OnRecordStored(std::uint32_t start, std::uint32_t count) = 0;
};

// The image the program holds for its whole run. It is large (768 KB): keep it on the heap or
// inside an object that lives there, not on a thread's stack.
class FirmwareImage {
  public:
    FirmwareImage();
    FirmwareImage(const FirmwareImage&) = delete;
    FirmwareImage& operator=(const FirmwareImage&) = delete;

    std::array<std::uint8_t, CPU_REGION_SIZE> CpuRegion;
    std::array<std::uint8_t, FLASH_REGION_SIZE> FlashRegion;
    // The end of the flash data, one past the last byte, rounded down to a multiple of 32:
    // the largest such value over all flash records of the file.
    std::uint32_t flashExtent = 0;
    // True when some flash record stored at least one byte.
    bool flashDataStored = false;
    // True only after a load that read the whole file; a download needs it.
    bool imageLoaded = false;

    // Discards the image: not loaded, extent 0, regions set to their fills.
    void Reset();

    // Reads the S-Record file at `path` into the image (discarding the previous one); with
    // `writeDumps` a complete load also writes both regions to the dump files.
    // With an `observer`, each stored record is also reported to it.
    LoadResult loadSRecordFile(const std::string& path, bool writeDumps,
                               const VariantProfile& profile,
                               StoredRecordObserver* observer = nullptr);
    // The same over an already open binary stream (standard input, say), without dumps:
    // `fileName` names the stream in a FileError, and `tap` sees every byte read from it.
    LoadResult loadSRecordStream(std::FILE* file, const std::string& fileName,
                                 const VariantProfile& profile,
                                 StoredRecordObserver* observer = nullptr, ReadTap tap = {});
    // After a load from a stream, once the stream is closed (so the dumps may even replace its
    // file): with `writeDumps`, a complete load writes both regions to the dump files, and a dump
    // that fails leaves the image not loaded.
    void DumpAfterLoad(LoadResult& result, bool writeDumps);

    // The number of flash blocks the download sends: blocks 0 to flashExtent / 32 when there is
    // flash data, none otherwise.
    std::size_t FlashBlockCount() const;
    // A CPU block whose 32 bytes are all 0xFF is skipped by the download.
    bool IsCpuBlockBlank(std::size_t index) const;
    // The number of CPU blocks the download sends (those not blank).
    std::size_t CountCpuBlocksToSend() const;

    std::span<const std::uint8_t, DATA_BLOCK_SIZE> CpuBlock(std::size_t index) const {
        return std::span<const std::uint8_t, DATA_BLOCK_SIZE>(
            CpuRegion.data() + index * DATA_BLOCK_SIZE, DATA_BLOCK_SIZE);
    }
    std::span<const std::uint8_t, DATA_BLOCK_SIZE> FlashBlock(std::size_t index) const {
        return std::span<const std::uint8_t, DATA_BLOCK_SIZE>(
            FlashRegion.data() + index * DATA_BLOCK_SIZE, DATA_BLOCK_SIZE);
    }

  private:
    // Reads every record into the image, which the caller has just reset.
    LoadResult ReadRecords(TextLineReader& reader, const std::string& fileName,
                           const VariantProfile& profile, StoredRecordObserver* observer);
};

} // namespace knot::core
