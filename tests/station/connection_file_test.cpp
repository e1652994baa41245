// The database file: one line of connection string, readable by its owner only on Linux; what
// is refused says why, and never shows the string.
#include "knot_names.h"

#include "case_printer.h"
#include "connection_file.h"
#include "file_text.h"
#include "scratch_folder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

namespace {
using knot_test::PrintTo;
using std::filesystem::perms;
using ::testing::HasSubstr;
using ::testing::Not;

struct ConnectionCase {
    const char* name;
    const char* contents;
    perms mode;
    const char* refusal; // "" when the string is taken
};

class ConnectionFileTest : public ::testing::TestWithParam<ConnectionCase> {};

TEST_P(ConnectionFileTest, TakesOnlyAPrivateSingleLine) {
    const ConnectionCase& c = GetParam();
    ScratchFolder folder;
    const std::string path = folder.File("line.odbc");
    WriteBytes(path, c.contents);
    std::filesystem::permissions(path, c.mode);
    const ConnectionString read = ReadConnectionFile(path);
    if (*c.refusal == '\0') {
        EXPECT_EQ(read.text, "DSN=line;Pwd=s3cret") << read.refusal;
    } else {
        EXPECT_THAT(read.refusal, HasSubstr(c.refusal));
        EXPECT_THAT(read.refusal, Not(HasSubstr("s3cret")));
        EXPECT_EQ(read.text, "");
    }
}

constexpr perms OWNER = perms::owner_read | perms::owner_write;
const ConnectionCase CONNECTION_CASES[] = {
    {"OwnerOnly", "DSN=line;Pwd=s3cret\r\n", OWNER, ""},
    {"Empty", " \n", OWNER, "is empty: it should hold an ODBC connection string or DSN=NAME"},
    {"TwoLines", "DSN=line;Pwd=s3cret\nDSN=other\n", OWNER, "holds more than one line"},
#ifndef _WIN32
    {"OthersRead", "DSN=line;Pwd=s3cret\n", OWNER | perms::others_read,
     "other users can read it (mode 0604; chmod 600 mends it)"},
    {"GroupWrites", "DSN=line;Pwd=s3cret\n", OWNER | perms::group_write,
     "other users can change it (mode 0620; chmod 600 mends it)"},
#endif
};
INSTANTIATE_TEST_SUITE_P(Files, ConnectionFileTest, ::testing::ValuesIn(CONNECTION_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
