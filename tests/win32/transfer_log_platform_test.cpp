// The transfer log on Windows: the paths the system names, and files that read and count as
// the platform's own text-mode streams would write and read them.
#include "knot_names.h"

#include "file_text.h"
#include "scratch_folder.h"
#include "transfer_log.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr std::int64_t FIXED_TIME = 1165467890;

TEST(TransferLogOnWindows, WritesToTheSystemsPaths) {
    TransferLog log = TransferLog::AtPlatformPaths();
    EXPECT_EQ(log.currentPath(), "C:\\Program Files\\Korvane\\Shared\\Data\\debugZu.txt");
    EXPECT_EQ(log.rotatedPath(), "C:\\Program Files\\Korvane\\Shared\\Data\\debugZu.1.txt");
}

TEST(TransferLogOnWindows, MissingDataFolderLosesTheLineSilently) {
    TransferLog log = TransferLog::AtPlatformPaths();
    fs::path folder = fs::path(log.currentPath()).parent_path();
    if (fs::exists(folder)) {
        GTEST_SKIP() << "the shared data folder exists on this machine; not writing into it";
    }
    log.WriteTransferLog(SEND_OPERATION_NAME, "[\x01]<1>", 0x7C);
    EXPECT_FALSE(fs::exists(log.currentPath()));
    EXPECT_FALSE(fs::exists(folder));
}

struct LineCase {
    const char* name;
    PortHandle handle;
    const char* operation;
    std::string message;
};

class TransferLogBytesTest : public ::testing::TestWithParam<LineCase> {};

// The trace line written with "%s\n" on a text-mode stream opened "a+" is the reference.
TEST_P(TransferLogBytesTest, SameBytesAsThePlatformTextStream) {
    const LineCase& c = GetParam();
    ScratchFolder folder;
    TransferLog log(folder.File("debugZu.txt"), folder.File("debugZu.1.txt"),
                    [] { return FIXED_TIME; });
    const std::string reference = folder.File("reference.txt");
    for (int i = 0; i < 2; ++i) {
        log.WriteTransferLog(c.operation, c.message.c_str(), c.handle);
        std::FILE* f = std::fopen(reference.c_str(), "a+");
        ASSERT_NE(f, nullptr);
        std::string line =
            FormatTransferLogLine(c.handle, FIXED_TIME, c.operation, c.message.c_str());
        std::fprintf(f, "%s\n", line.c_str());
        std::fclose(f);
    }
    EXPECT_EQ(ReadFile(log.currentPath()), ReadFile(reference));
}

INSTANTIATE_TEST_SUITE_P(
    Lines, TransferLogBytesTest,
    ::testing::Values(LineCase{"Send", 0x7C, SEND_OPERATION_NAME, "[\x01]<1>"},
                      LineCase{"Receive", 0x1F4, RECEIVE_OPERATION_NAME,
                               "[\x01"
                               "ABC 1.2]<1>"},
                      LineCase{"FailedReceive", 0x1F4, RECEIVE_OPERATION_NAME, "[]<0>"},
                      LineCase{"LineFeedInMessage", 0x7C, RECEIVE_OPERATION_NAME, "[a\nb]<1>"},
                      LineCase{"CarriageReturnInMessage", 0x7C, RECEIVE_OPERATION_NAME,
                               "[a\rb]<1>"}),
    [](const auto& info) { return info.param.name; });

struct CountCase {
    const char* name;
    std::string bytes;
};

class TransferLogCountTest : public ::testing::TestWithParam<CountCase> {};

// The rotation counts reads of at most 1023 characters into a 1024-byte buffer on a text-mode
// stream; the platform's fgets is the reference. A 0x1A byte, which would end the platform's
// read, is an ordinary character to the count, so the reference reads it as one.
TEST_P(TransferLogCountTest, CountsAsFgetsOnTheTextStream) {
    ScratchFolder folder;
    const std::string path = folder.File("debugZu.txt");
    const std::string reference = folder.File("reference.txt");
    std::ofstream(path, std::ios::binary) << GetParam().bytes;
    std::string plain = GetParam().bytes;
    std::replace(plain.begin(), plain.end(), '\x1A', 'z');
    std::ofstream(reference, std::ios::binary) << plain;

    long fgetsReads = 0;
    std::FILE* f = std::fopen(reference.c_str(), "r");
    ASSERT_NE(f, nullptr);
    char buffer[TRANSFER_LOG_READ_CHARS + 1];
    while (std::fgets(buffer, sizeof buffer, f)) {
        ++fgetsReads;
    }
    std::fclose(f);
    EXPECT_EQ(CountTransferLogLines(path), fgetsReads);
}

INSTANTIATE_TEST_SUITE_P(Files, TransferLogCountTest,
                         ::testing::Values(CountCase{"Empty", ""},
                                           CountCase{"CrLfLines", "a\r\nb\r\nc\r\n"},
                                           CountCase{"Line1022", std::string(1022, 'x') + "\r\n"},
                                           CountCase{"Line1023", std::string(1023, 'x') + "\r\n"},
                                           CountCase{"Line2046", std::string(2046, 'x') + "\r\n"},
                                           CountCase{"Line2047", std::string(2047, 'x') + "\r\n"},
                                           CountCase{"NoFinalLineEnd", "a\r\nb"},
                                           CountCase{"EndOfFileMark", "a\r\nb\x1A\r\nc\r\nd\r\n"}),
                         [](const auto& info) { return info.param.name; });

} // namespace
