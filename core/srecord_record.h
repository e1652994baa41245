// One read of an S-Record file judged as a record: skipped text, a data record (S1, S2, S3)
// with its decoded fields, or a record that stops the load.
#pragma once

#include "firmware_image.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>
#define KNOT_WIDE_DECODING 1
// The C library's record of the processor; clang's C++ cannot read that header (its inline
// functions return C's _Bool), so a clang build asks the compiler's run-time.
#if __has_include(<sys/platform/x86.h>) && !defined(__clang__)
#include <sys/platform/x86.h>
#endif
#endif

namespace knot::core {
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

// What JudgeRecord is made of.
namespace record_detail {

// The byte spelt by every pair of characters, indexed by the pair's two bytes as one 16-bit
// load; bit 8 is set when either character is no hexadecimal digit. One lookup per byte keeps
// a full image fast.
inline constexpr unsigned NOT_HEX = 0x100;

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

inline constexpr PairTable HEX_PAIRS = MakeHexPairs();

inline unsigned HexPair(const PairTable& pairs, const char* p) {
    return pairs.value[PairIndex(p)];
}

#ifdef __SSE2__
// Data digits, which make up most of a file, are decoded sixteen bytes at a time where the
// processor can: the same digits, the same refusals and the same sum as the table gives.
// Decodes the 32 hexadecimal characters at `digits` into 16 bytes at `out`, sixteen at a time:
// adds the bytes to `sum` and sets bits of `invalid` when a character is no hexadecimal digit.
inline void DecodeSixteen(const char* digits, std::uint8_t* out, __m128i& sum, __m128i& invalid) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i low8 = _mm_set1_epi16(0x00FF);
    __m128i values[2];
    for (int half = 0; half < 2; ++half) {
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(digits + 16 * half));
        // Bytes of 0x80 and above compare as negative, so they fall in neither range.
        const __m128i isDigit = _mm_and_si128(_mm_cmpgt_epi8(c, _mm_set1_epi8('0' - 1)),
                                              _mm_cmpgt_epi8(_mm_set1_epi8('9' + 1), c));
        const __m128i lower = _mm_or_si128(c, _mm_set1_epi8(0x20));
        const __m128i isLetter = _mm_and_si128(_mm_cmpgt_epi8(lower, _mm_set1_epi8('a' - 1)),
                                               _mm_cmpgt_epi8(_mm_set1_epi8('f' + 1), lower));
        invalid = _mm_or_si128(
            invalid, _mm_andnot_si128(_mm_or_si128(isDigit, isLetter), _mm_set1_epi8(-1)));
        const __m128i nibbles =
            _mm_or_si128(_mm_and_si128(isDigit, _mm_sub_epi8(c, _mm_set1_epi8('0'))),
                         _mm_and_si128(isLetter, _mm_sub_epi8(lower, _mm_set1_epi8('a' - 10))));
        // Each 16-bit lane holds a high digit (first character) and a low digit.
        values[half] = _mm_or_si128(_mm_slli_epi16(_mm_and_si128(nibbles, low8), 4),
                                    _mm_srli_epi16(nibbles, 8));
    }
    const __m128i bytes = _mm_packus_epi16(values[0], values[1]);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), bytes);
    sum = _mm_add_epi64(sum, _mm_sad_epu8(bytes, zero));
}

// Decodes the data's whole runs of sixteen bytes: their number of bytes, or -1 when one of
// their characters is no hexadecimal digit.
inline int DecodeRunsNarrow(const char* digits, std::uint8_t* out, int count, unsigned& sum) {
    __m128i wideSum = _mm_setzero_si128();
    __m128i invalid = _mm_setzero_si128();
    int i = 0;
    for (; i + 16 <= count; i += 16) {
        DecodeSixteen(digits + 2 * i, out + i, wideSum, invalid);
    }
    sum += static_cast<unsigned>(_mm_cvtsi128_si32(wideSum)) +
           static_cast<unsigned>(_mm_cvtsi128_si32(_mm_srli_si128(wideSum, 8)));
    return _mm_movemask_epi8(invalid) == 0 ? i : -1;
}
#endif

#ifdef KNOT_WIDE_DECODING
// The same with the instructions of processors since about 2013, whose registers take the 32
// characters of sixteen bytes at once: a character's high four bits tell its class and what to
// add to its low four bits.
__attribute__((target("avx2"))) inline int DecodeRunsWide(const char* digits, std::uint8_t* out,
                                                          int count, unsigned& sum) {
    const __m256i lowBits = _mm256_set1_epi8(0x0F);
    // Indexed by the low four bits: 1 where a decimal digit may end so, 2 where a letter A-F.
    const __m256i lowClass = _mm256_setr_epi8(1, 3, 3, 3, 3, 3, 3, 1, 1, 1, 0, 0, 0, 0, 0, 0, //
                                              1, 3, 3, 3, 3, 3, 3, 1, 1, 1, 0, 0, 0, 0, 0, 0);
    // Indexed by the high four bits: 1 for '0'-'9', 2 for 'A'-'F' and 'a'-'f', 0 for the rest.
    const __m256i highClass = _mm256_setr_epi8(0, 0, 0, 1, 2, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, //
                                               0, 0, 0, 1, 2, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    const __m256i highAdd = _mm256_setr_epi8(0, 0, 0, 0, 9, 0, 9, 0, 0, 0, 0, 0, 0, 0, 0, 0, //
                                             0, 0, 0, 0, 9, 0, 9, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    const __m256i weights = _mm256_set1_epi16(0x0110); // the first character x16, the second x1
    __m256i invalid = _mm256_setzero_si256();
    __m128i wideSum = _mm_setzero_si128();
    int i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(digits + 2 * i));
        const __m256i low = _mm256_and_si256(c, lowBits);
        const __m256i high = _mm256_and_si256(_mm256_srli_epi16(c, 4), lowBits);
        const __m256i kind = _mm256_and_si256(_mm256_shuffle_epi8(lowClass, low),
                                              _mm256_shuffle_epi8(highClass, high));
        invalid = _mm256_or_si256(invalid, _mm256_cmpeq_epi8(kind, _mm256_setzero_si256()));
        const __m256i nibbles = _mm256_add_epi8(low, _mm256_shuffle_epi8(highAdd, high));
        const __m256i values = _mm256_maddubs_epi16(nibbles, weights);
        const __m128i bytes =
            _mm_packus_epi16(_mm256_castsi256_si128(values), _mm256_extracti128_si256(values, 1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), bytes);
        wideSum = _mm_add_epi64(wideSum, _mm_sad_epu8(bytes, _mm_setzero_si128()));
    }
    sum += static_cast<unsigned>(_mm_cvtsi128_si32(wideSum)) +
           static_cast<unsigned>(_mm_cvtsi128_si32(_mm_srli_si128(wideSum, 8)));
    return _mm256_testz_si256(invalid, invalid) ? i : -1;
}

// Asked once. The C library has already asked the processor; elsewhere the compiler's run-time
// asks it.
inline bool CanDecodeWide() {
#ifdef CPU_FEATURE_ACTIVE
    return CPU_FEATURE_ACTIVE(AVX2);
#else
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
#endif
}

// Read before it is set (by another file's static initialiser) it is false: the narrow decoding.
inline const bool DECODE_WIDE = CanDecodeWide();
#endif

// Decodes the data's whole runs of sixteen bytes as fast as this processor can; see
// DecodeRunsNarrow.
inline int DecodeRuns(const char* digits, std::uint8_t* out, int count, unsigned& sum) {
#ifdef KNOT_WIDE_DECODING
    if (DECODE_WIDE) {
        return DecodeRunsWide(digits, out, count, sum);
    }
#endif
#ifdef __SSE2__
    return DecodeRunsNarrow(digits, out, count, sum);
#else
    (void)digits, (void)out, (void)count, (void)sum;
    return 0;
#endif
}

inline constexpr std::size_t COUNT_POSITION = 2;
inline constexpr std::size_t ADDRESS_POSITION = 4;

} // namespace record_detail

// Judges the `length` characters of one read. For Data the record's fields are filled in; for
// Reject `reason` says why. Only the characters of the read are looked at. Inline: the loader
// calls it for every line of a file.
inline RecordVerdict JudgeRecord(const char* text, std::size_t length, DataRecord& record,
                                 RejectReason& reason) {
    using namespace record_detail;
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
    const PairTable& pairs = HEX_PAIRS;
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
    int i = DecodeRuns(digits, record.data, dataCount, sum);
    if (i < 0) {
        reason = RejectReason::NotHexadecimal;
        return RecordVerdict::Reject;
    }
    for (; i < dataCount; ++i) {
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

} // namespace knot::core
