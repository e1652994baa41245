#include "srecord_record.h"

#include <array>

namespace {

// Value of each character as a hexadecimal digit, or -1.
constexpr std::array<std::int8_t, 256> MakeHexTable() {
    std::array<std::int8_t, 256> table{};
    for (auto& v : table) {
        v = -1;
    }
    for (int c = '0'; c <= '9'; ++c) {
        table[c] = static_cast<std::int8_t>(c - '0');
    }
    for (int c = 0; c < 6; ++c) {
        table['a' + c] = static_cast<std::int8_t>(10 + c);
        table['A' + c] = static_cast<std::int8_t>(10 + c);
    }
    return table;
}
constexpr std::array<std::int8_t, 256> kHexValue = MakeHexTable();

// The byte spelt by the two characters at `p`, or -1 when either is no hexadecimal digit.
inline int HexByte(const char* p) {
    int high = kHexValue[static_cast<unsigned char>(p[0])];
    int low = kHexValue[static_cast<unsigned char>(p[1])];
    // A negative digit makes the whole value negative.
    return (high << 4) | low | ((high | low) & ~0xFF);
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
    const int count = HexByte(text + COUNT_POSITION);
    if (count < 0) {
        reason = RejectReason::NotHexadecimal;
        return RecordVerdict::Reject;
    }
    std::uint32_t start = 0;
    unsigned sum = static_cast<unsigned>(count);
    for (int i = 0; i < addressBytes; ++i) {
        int b = HexByte(text + ADDRESS_POSITION + 2 * i);
        if (b < 0) {
            reason = RejectReason::NotHexadecimal;
            return RecordVerdict::Reject;
        }
        start = (start << 8) | static_cast<std::uint32_t>(b);
        sum += static_cast<unsigned>(b);
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
        int b = HexByte(digits + 2 * i);
        if (b < 0) {
            reason = RejectReason::NotHexadecimal;
            return RecordVerdict::Reject;
        }
        record.data[i] = static_cast<std::uint8_t>(b);
        sum += static_cast<unsigned>(b);
    }
    // The checksum is only reported on, never a reason to stop; its characters may be anything.
    // A record with a negative data count has no room left for a checksum.
    const int checksum = dataCount >= 0 ? HexByte(digits + 2 * dataCount) : -1;
    record.checksumGood = checksum >= 0 && static_cast<unsigned>(checksum) == (~sum & 0xFFu);
    record.start = start;
    record.count = count;
    record.dataCount = dataCount;
    return RecordVerdict::Data;
}
