#include "srecord_record.h"

#include <bit>
#include <cstring>

namespace {

// The byte spelt by every pair of characters, indexed by the pair's two bytes as one 16-bit
// load; bit 8 is set when either character is no hexadecimal digit. One lookup per byte keeps
// a full image fast.
constexpr unsigned NOT_HEX = 0x100;

constexpr int HexDigit(int c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

struct PairTable {
    std::uint16_t value[256 * 256];
};

inline std::uint16_t PairIndex(const char* p) {
    std::uint16_t index;
    std::memcpy(&index, p, sizeof index);
    return index;
}

// The table is made while compiling, so a program that reads one file does not first spend its
// time filling it. The index is the two characters as one 16-bit load on this machine.
constexpr PairTable MakeHexPairs() {
    PairTable t{};
    for (int first = 0; first < 256; ++first) {
        for (int second = 0; second < 256; ++second) {
            const int high = HexDigit(first);
            const int low = HexDigit(second);
            const unsigned index = std::endian::native == std::endian::little
                                       ? static_cast<unsigned>(first | second << 8)
                                       : static_cast<unsigned>(first << 8 | second);
            t.value[index] = static_cast<std::uint16_t>(
                high < 0 || low < 0 ? NOT_HEX : static_cast<unsigned>(high * 16 + low));
        }
    }
    return t;
}

constexpr PairTable HEX_PAIRS = MakeHexPairs();

const PairTable& HexPairs() {
    return HEX_PAIRS;
}

inline unsigned HexPair(const PairTable& pairs, const char* p) {
    return pairs.value[PairIndex(p)];
}

constexpr std::size_t COUNT_POSITION = 2;
constexpr std::size_t ADDRESS_POSITION = 4;

} // namespace

RecordVerdict JudgeRecord(const char* text, std::size_t length, DataRecord& record,
                          RejectReason& reason) {
    // The first character is never looked at: the second alone says whether this is S1, S2 or S3.
    if (length < 2 || text[1] < '1' || text[1] > '3') {
        return RecordVerdict::Skip;
    }
    const int addressBytes = text[1] - '0' + 1;
    const std::size_t dataPosition = ADDRESS_POSITION + 2 * static_cast<std::size_t>(addressBytes);

    // Byte count and address must stand complete within this read.
    if (length < dataPosition) {
        reason = RejectReason::NotHexadecimal;
        return RecordVerdict::Reject;
    }
    const PairTable& pairs = HexPairs();
    const unsigned countField = HexPair(pairs, text + COUNT_POSITION);
    if (countField & NOT_HEX) {
        reason = RejectReason::NotHexadecimal;
        return RecordVerdict::Reject;
    }
    const int count = static_cast<int>(countField);
    std::uint32_t start = 0;
    unsigned sum = countField;
    unsigned invalid = 0;
    for (int i = 0; i < addressBytes; ++i) {
        unsigned b = HexPair(pairs, text + ADDRESS_POSITION + 2 * i);
        invalid |= b;
        start = (start << 8) | (b & 0xFF);
        sum += b;
    }
    if (invalid & NOT_HEX) {
        reason = RejectReason::NotHexadecimal;
        return RecordVerdict::Reject;
    }
    const int dataCount = count - addressBytes - 1;

    // Exactly 2 x n data digits and two checksum characters, then at most one more character.
    const std::size_t rest = length - dataPosition;
    if (static_cast<long>(rest / 2) != static_cast<long>(dataCount) + 1) {
        reason = RejectReason::LengthMismatch;
        return RecordVerdict::Reject;
    }

    const char* digits = text + dataPosition;
    for (int i = 0; i < dataCount; ++i) {
        unsigned b = HexPair(pairs, digits + 2 * i);
        invalid |= b;
        record.data[i] = static_cast<std::uint8_t>(b);
        sum += b;
    }
    if (invalid & NOT_HEX) {
        reason = RejectReason::NotHexadecimal;
        return RecordVerdict::Reject;
    }
    // The checksum is only reported on, never a reason to stop; its characters may be anything.
    // A record with a negative data count has no room left for a checksum.
    const unsigned checksum = dataCount >= 0 ? HexPair(pairs, digits + 2 * dataCount) : NOT_HEX;
    record.checksumGood = !(checksum & NOT_HEX) && checksum == (~sum & 0xFFu);
    record.start = start;
    record.count = count;
    record.dataCount = dataCount;
    return RecordVerdict::Data;
}
