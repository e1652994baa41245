#include "knot_names.h"

#include "case_printer.h"
#include "text_stream.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using knot_test::PrintTo;

// A temporary binary stream holding `bytes`.
std::FILE* StreamOf(const std::string& bytes) {
    std::FILE* f = std::tmpfile();
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::rewind(f);
    return f;
}

// The reads of `bytes`; the reader's tap must have seen every byte of them, as they stand.
std::vector<std::string> ReadAll(const std::string& bytes, std::size_t maxChars) {
    std::FILE* f = StreamOf(bytes);
    std::string tapped;
    std::vector<std::string> reads;
    {
        TextLineReader reader(f, EndOfFileMark::EndsTheFile,
                              [&tapped](const char* b, std::size_t n) { tapped.append(b, n); });
        std::string buffer(maxChars, '\0');
        while (std::size_t n = reader.ReadLine(buffer.data(), maxChars)) {
            reads.emplace_back(buffer.data(), n);
        }
    }
    std::fclose(f);
    EXPECT_EQ(tapped, bytes);
    return reads;
}

struct ReadCase {
    const char* name;
    std::string bytes;
    std::size_t maxChars;
    std::vector<std::string> reads;
};

class TextLineReaderTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(TextLineReaderTest, ReadsAsATextModeStream) {
    EXPECT_EQ(ReadAll(GetParam().bytes, GetParam().maxChars), GetParam().reads);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, TextLineReaderTest,
    ::testing::Values(ReadCase{"Empty", "", 10, {}},
                      ReadCase{"CrLfBecomesLf", "ab\r\ncd\r\n", 10, {"ab\n", "cd\n"}},
                      ReadCase{"LoneCrStays", "a\rb\n\r", 10, {"a\rb\n", "\r"}},
                      ReadCase{"CrCrLf", "a\r\r\n", 10, {"a\r\n"}},
                      ReadCase{"NoFinalLineFeed", "ab\ncd", 10, {"ab\n", "cd"}},
                      ReadCase{"CtrlZEndsTheFile", "ab\ncd\x1A\nef\n", 10, {"ab\n", "cd"}},
                      ReadCase{"CtrlZFirst",
                               std::string("\x1A"
                                           "ab\n"),
                               10,
                               {}},
                      ReadCase{"LongLineInPieces", "abcdefg\n", 3, {"abc", "def", "g\n"}},
                      ReadCase{"LineFeedLeftForNextRead", "abc\n", 3, {"abc", "\n"}},
                      ReadCase{"CrLfAtLimitCountsAsOne", "ab\r\n", 3, {"ab\n"}},
                      ReadCase{"CrLfAcrossLimit", "abc\r\nd", 3, {"abc", "\n", "d"}},
                      ReadCase{
                          "NulIsData", std::string("a\0b\n", 4), 10, {std::string("a\0b\n", 4)}}),
    [](const auto& info) { return info.param.name; });

TEST(TextLineReader, CarriageReturnAtBufferBorder) {
    // A CR LF pair split by the reader's internal refill is still one line end.
    std::string bytes(64 * 1024 - 1, 'x');
    bytes += "\r\nlast\r\n";
    std::vector<std::string> reads = ReadAll(bytes, 70000);
    ASSERT_EQ(reads.size(), 2u);
    EXPECT_EQ(reads[0].size(), 64u * 1024);
    EXPECT_EQ(reads[0].back(), '\n');
    EXPECT_EQ(reads[1], "last\n");
}

TEST(WriteTextMode, LineFeedsBecomeCrLf) {
    std::FILE* f = std::tmpfile();
    ASSERT_TRUE(WriteTextMode(f, "a\nb\n\nc"));
    std::rewind(f);
    char buffer[32] = {};
    std::size_t n = std::fread(buffer, 1, sizeof buffer, f);
    std::fclose(f);
    EXPECT_EQ(std::string(buffer, n), "a\r\nb\r\n\r\nc");
}

} // namespace
