#include "knot_names.h"

#include "case_printer.h"
#include "file_text.h"
#include "scratch_folder.h"
#include "transfer_log.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace {

using knot_test::PrintTo;

constexpr std::int64_t SOME_TIME = 1165467890;

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

void AppendFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::app);
    out << bytes;
}

// Compares file contents without printing thousands of lines when they differ.
::testing::AssertionResult SameBytes(const std::string& actual, const std::string& expected) {
    if (actual == expected) {
        return ::testing::AssertionSuccess();
    }
    std::size_t at = 0;
    while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) {
        ++at;
    }
    return ::testing::AssertionFailure() << actual.size() << " bytes instead of " << expected.size()
                                         << ", first difference at byte " << at;
}

bool Exists(const std::string& path) {
    return std::filesystem::exists(path);
}

// `count` lines of `width` characters, each ended by CR LF.
std::string Lines(int count, std::size_t width = 5) {
    std::string line = std::string(width, 'x') + "\r\n";
    std::string text;
    text.reserve(line.size() * static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        text += line;
    }
    return text;
}

struct LogFixture : ::testing::Test {
    ScratchFolder folder;
    std::string current = folder.File("debugZu.txt");
    std::string rotated = folder.File("debugZu.1.txt");
    TransferLog log{current, rotated, [] { return SOME_TIME; }};

    void Write(const char* message = "[\x01]<1>") {
        log.WriteTransferLog(SEND_OPERATION_NAME, message, 0x7C);
    }
};

const std::string SEND_LINE = "      7C,1165467890,     BinSendToDevice,[\x01]<1>\r\n";

// --- Line and message forms ----------------------------------------------------------------

TEST_F(LogFixture, WritesTheExactLineBytes) {
    Write();
    log.WriteTransferLog(RECEIVE_OPERATION_NAME, "[]<0>", 0x1234ABCD);
    EXPECT_EQ(ReadFile(current), SEND_LINE + "1234ABCD,1165467890,   ReceiveFromDevice,[]<0>\r\n");
    EXPECT_FALSE(Exists(rotated));
}

TEST(TransferLogLineTest, FieldsAreFormattedLikeTheDriverPrograms) {
    EXPECT_EQ(FormatTransferLogLine(0x7C, SOME_TIME, "BinSendToDevice", "m"),
              "      7C,1165467890,     BinSendToDevice,m");
    EXPECT_EQ(FormatTransferLogLine(INVALID_PORT_HANDLE, -5, "ReceiveFromDevice", ""),
              "FFFFFFFF,-5,   ReceiveFromDevice,");
    EXPECT_EQ(FormatTransferLogLine(0x123456789, 0, "AVeryLongOperationNameIndeed", "m"),
              "23456789,0,AVeryLongOperationNameIndeed,m");
}

struct MessageCase {
    const char* name;
    std::string bytes; // the packet or buffer
    bool receive;
    bool result;
    std::string message;
};

class TraceMessageTest : public ::testing::TestWithParam<MessageCase> {};

TEST_P(TraceMessageTest, StopsAtTheFirstZero) {
    const MessageCase& c = GetParam();
    std::string message = c.receive ? FormatReceiveMessage(c.bytes.data(), c.bytes.size(), c.result)
                                    : FormatSendMessage(c.bytes.data(), c.bytes.size(), c.result);
    EXPECT_EQ(message, c.message);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, TraceMessageTest,
    ::testing::Values(
        MessageCase{"SendStopsAtByteOne", std::string("\x01\x00\x70\x00", 4), false, true,
                    "[\x01]<1>"},
        MessageCase{"FailedSend", std::string("\x01\x00", 2), false, false, "[\x01]<0>"},
        MessageCase{"SendWithoutZeroTakesAll", "AB \r", false, true, "[AB \r]<1>"},
        MessageCase{"ReceiveDropsTrailingWhiteSpace", std::string("OK \t\n\v\f\r\0X ", 10), true,
                    true, "[OK]<1>"},
        MessageCase{"ReceiveKeepsInnerWhiteSpace", std::string(" A\rB\0", 5), true, true,
                    "[ A\rB]<1>"},
        MessageCase{"ReceiveWithoutZeroTakesTheBuffer", "AB  ", true, true, "[AB]<1>"},
        MessageCase{"ReceiveOfOnlyWhiteSpace", " \r\n", true, true, "[]<1>"},
        MessageCase{"FailedReceiveIntoAClearedBuffer", std::string(256, '\0'), true, false,
                    "[]<0>"}),
    [](const auto& info) { return info.param.name; });

// --- Rotation ------------------------------------------------------------------------------

struct RotationCase {
    const char* name;
    std::string existing; // the current file before the write
    bool rotates;
};

class RotationTest : public LogFixture, public ::testing::WithParamInterface<RotationCase> {};

TEST_P(RotationTest, RotatesPast5000Reads) {
    const RotationCase& c = GetParam();
    WriteFile(current, c.existing);
    WriteFile(rotated, "an older generation\r\n");
    Write();
    if (c.rotates) {
        EXPECT_TRUE(SameBytes(ReadFile(rotated), c.existing));
        EXPECT_EQ(ReadFile(current), SEND_LINE);
    } else {
        EXPECT_TRUE(SameBytes(ReadFile(current), c.existing + SEND_LINE));
        EXPECT_EQ(ReadFile(rotated), "an older generation\r\n");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Counts, RotationTest,
    ::testing::Values(RotationCase{"Empty", "", false},
                      RotationCase{"Exactly5000", Lines(5000), false},
                      RotationCase{"Then5001", Lines(5001), true},
                      // Line feeds alone end lines as well.
                      RotationCase{"LineFeedsOnly", std::string(5001, '\n'), true},
                      // A last line without its end still counts as a read.
                      RotationCase{"UnendedLastLine", Lines(5000) + "tail", true},
                      // 1022 characters and the line feed fit one read of 1023.
                      RotationCase{"Lines1022Count1", Lines(5000, 1022), false},
                      // 1023 characters leave the line feed to a second read.
                      RotationCase{"Lines1023Count2", Lines(2500, 1023), false},
                      RotationCase{"Lines1023Count2Past", Lines(2500, 1023) + Lines(1), true},
                      RotationCase{"Lines2045Count2", Lines(2500, 2045), false},
                      RotationCase{"Lines2046Count3", Lines(1667, 2046), true},
                      // A lone carriage return is a character, not a line end.
                      RotationCase{"LoneCarriageReturns", Lines(5000) + "\r\r\r", true},
                      // A 0x1A byte is a character to the count: the lines after it count.
                      RotationCase{"EndMarkHidesNothing", Lines(4000) + "\x1A" + Lines(2000),
                                   true}),
    [](const auto& info) { return info.param.name; });

TEST_F(LogFixture, CreatesAMissingFileAndGrowsTo5001BeforeRotating) {
    Write();
    EXPECT_EQ(ReadFile(current), SEND_LINE);
    WriteFile(current, Lines(4999));
    Write(); // 5000 lines
    Write(); // 5001 lines
    EXPECT_FALSE(Exists(rotated));
    EXPECT_EQ(CountTransferLogLines(current), 5001);
    Write();
    EXPECT_EQ(CountTransferLogLines(rotated), 5001);
    EXPECT_EQ(ReadFile(current), SEND_LINE);
}

TEST_F(LogFixture, LineFeedInsideAMessageCountsAsTwoLines) {
    WriteFile(current, Lines(4998));
    Write("[first\nsecond]<1>");
    EXPECT_EQ(ReadFile(current).substr(Lines(4998).size()),
              "      7C,1165467890,     BinSendToDevice,[first\r\nsecond]<1>\r\n");
    EXPECT_EQ(CountTransferLogLines(current), 5000);
    Write(); // 5001
    EXPECT_FALSE(Exists(rotated));
    Write();
    EXPECT_TRUE(Exists(rotated));
}

TEST_F(LogFixture, LongMessagesCountAsSeveralReads) {
    WriteFile(current, Lines(4998));
    Write(std::string(1500, 'm').c_str()); // 41 + 1500 characters: two reads
    Write();                               // 5001
    EXPECT_FALSE(Exists(rotated));
    Write();
    EXPECT_TRUE(Exists(rotated));
}

TEST_F(LogFixture, EndMarkInAMessageKeepsTheRotationGoing) {
    WriteFile(current, Lines(4998));
    Write("[\x1A]<1>"); // 4999
    Write();            // 5000
    Write();            // 5001
    EXPECT_FALSE(Exists(rotated));
    Write();
    EXPECT_EQ(CountTransferLogLines(rotated), 5001);
    EXPECT_EQ(ReadFile(current), SEND_LINE);
}

TEST(TransferLogFailureTest, MissingFolderLosesTheLineSilently) {
    ScratchFolder folder;
    const std::filesystem::path missing = folder.path() / "Korvane" / "Shared" / "Data";
    TransferLog log((missing / "debugZu.txt").string(), (missing / "debugZu.1.txt").string());
    for (int i = 0; i < 3; ++i) {
        log.WriteTransferLog(RECEIVE_OPERATION_NAME, "[]<0>", 1);
    }
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "Korvane"));
    EXPECT_EQ(CountTransferLogLines((missing / "debugZu.txt").string()), -1);
}

TEST(TransferLogFailureTest, PlatformPathsAreFixedFileNames) {
    TransferLog log = TransferLog::AtPlatformPaths();
#ifdef _WIN32
    EXPECT_EQ(log.currentPath(), "C:\\Program Files\\Korvane\\Shared\\Data\\debugZu.txt");
    EXPECT_EQ(log.rotatedPath(), "C:\\Program Files\\Korvane\\Shared\\Data\\debugZu.1.txt");
#else
    const std::string folder = "/.local/state/Korvane/Shared/Data/";
    ASSERT_GT(log.currentPath().size(), folder.size());
    EXPECT_EQ(log.currentPath().substr(log.currentPath().size() - folder.size() - 11),
              folder + "debugZu.txt");
    EXPECT_EQ(log.rotatedPath(),
              log.currentPath().substr(0, log.currentPath().size() - 11) + "debugZu.1.txt");
#endif
}

// --- Another writer between our calls ------------------------------------------------------

TEST_F(LogFixture, CountsLinesAnotherProgramAppended) {
    WriteFile(current, Lines(4998));
    Write(); // 4999, remembered
    AppendFile(current, Lines(2));
    Write(); // 5002 were there: rotates first
    EXPECT_EQ(CountTransferLogLines(rotated), 5001);
    EXPECT_EQ(ReadFile(current), SEND_LINE);
}

TEST_F(LogFixture, FollowsARotationByAnotherProgram) {
    WriteFile(current, Lines(4999));
    Write();
    Write(); // 5001, remembered
    std::filesystem::rename(current, folder.File("elsewhere.txt"));
    WriteFile(current, Lines(3));
    Write(); // a new file of the same reads count: no rotation
    EXPECT_FALSE(Exists(rotated));
    EXPECT_EQ(ReadFile(current), Lines(3) + SEND_LINE);
}

TEST_F(LogFixture, TellsAnotherFileOfTheSameSizeApart) {
    WriteFile(current, Lines(4999));
    Write();
    Write(); // 5001, remembered
    const auto size = static_cast<std::size_t>(std::filesystem::file_size(current));
    std::filesystem::rename(current, folder.File("elsewhere.txt"));
    const std::string oneLongLine = std::string(size - 2, 'x') + "\r\n"; // a few hundred reads
    WriteFile(current, oneLongLine);
    Write(); // only the file itself says it is not the one remembered
    EXPECT_FALSE(Exists(rotated));
    EXPECT_EQ(ReadFile(current), oneLongLine + SEND_LINE);
}

TEST_F(LogFixture, FollowsAFileRewrittenInPlace) {
    WriteFile(current, Lines(5000));
    Write();                       // 5001, remembered
    WriteFile(current, Lines(10)); // the same file, emptied and written again
    Write();
    EXPECT_FALSE(Exists(rotated));
    EXPECT_EQ(ReadFile(current), Lines(10) + SEND_LINE);
}

TEST_F(LogFixture, LeftOverUnendedLineIsJoinedByOurs) {
    WriteFile(current, Lines(4999) + "partial");
    Write(); // joins "partial": still 5000 reads
    EXPECT_EQ(CountTransferLogLines(current), 5000);
    Write();
    EXPECT_FALSE(Exists(rotated));
    Write();
    EXPECT_TRUE(Exists(rotated));
}

// Every write rotates exactly when a full count of the file before it says so, whatever mix of
// line feeds, carriage returns, long messages and other writers comes along.
TEST_F(LogFixture, RemembersTheSameCountAFullCountFinds) {
    std::mt19937 random(20261208);
    WriteFile(current, Lines(4700));
    int rotations = 0;
    for (int i = 0; i < 2600; ++i) {
        std::string message = "[";
        switch (random() % 8) {
        case 0:
            message += "a\nb\nc\nd\ne\nf";
            break;
        case 1:
            message += "c\r\nd\r";
            break;
        case 2:
            message += std::string(900 + random() % 4000, 'm');
            break;
        case 3:
            message += "\r";
            break;
        case 4:
            message += "\x1A";
            break;
        default:
            message += "\x01";
            break;
        }
        message += "]<1>";
        if (random() % 50 == 0) {
            AppendFile(current, random() % 2 ? "other\n" : "other unended");
        }
        const long before = CountTransferLogLines(current);
        const auto sizeBefore = std::filesystem::file_size(current);
        Write(message.c_str());
        const bool rotatedNow = before > TRANSFER_LOG_MAX_LINES;
        ASSERT_EQ(Exists(rotated) && std::filesystem::file_size(rotated) == sizeBefore &&
                      std::filesystem::file_size(current) < sizeBefore,
                  rotatedNow)
            << "write " << i << " after " << before << " reads";
        rotations += rotatedNow;
    }
    EXPECT_GE(rotations, 2);
}

} // namespace
