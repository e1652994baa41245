// The one JSON writer: whatever bytes a path, a file name or a unit's answer holds, the text is
// valid UTF-8 JSON on one line (bytes that are not UTF-8 become U+FFFD), and it never throws.
#include "knot_names.h"

#include "case_printer.h"
#include "json_output.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using knot_test::PrintTo;

struct JsonCase {
    const char* name;
    nlohmann::ordered_json value;
    std::string line;
};

class JsonOutputTest : public ::testing::TestWithParam<JsonCase> {};

TEST_P(JsonOutputTest, WritesOneValidLineWithBadBytesReplaced) {
    const JsonCase& c = GetParam();
    const std::string line = DumpLine(c.value);
    EXPECT_EQ(line, c.line);
    EXPECT_NO_THROW(EXPECT_EQ(nlohmann::ordered_json::parse(line),
                              nlohmann::ordered_json::parse(DumpIndented(c.value))));
}

const std::string FFFD = "\xEF\xBF\xBD";

INSTANTIATE_TEST_SUITE_P(
    Bytes, JsonOutputTest,
    ::testing::Values(
        JsonCase{"ByteThatIsNoUtf8", std::string("bad\xff"), "\"bad" + FFFD + "\""},
        JsonCase{"SequenceCutShort", std::string("x\xe2\x82"), "\"x" + FFFD + "\""},
        JsonCase{"OverlongSlash", std::string("\xc0\xaf"), "\"" + FFFD + FFFD + "\""},
        JsonCase{"Surrogate", std::string("\xed\xa0\x80"), "\"" + FFFD + FFFD + FFFD + "\""},
        JsonCase{"InAKey", nlohmann::ordered_json{{"k\xff", 1}}, "{\"k" + FFFD + "\":1}"},
        JsonCase{"Utf8Kept", std::string("caf\xc3\xa9"), "\"caf\xc3\xa9\""},
        JsonCase{"LineEndsEscaped", std::string("a\r\nb\x1b"), "\"a\\r\\nb\\u001b\""}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
