// knot-fdt as a Windows program: its unit commands reach the setup service through the real
// driver port, which finds no unit where no driver runs.
#include "knot_names.h"

#include "exit_codes.h"
#include "run_tool.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct CliCase {
    const char* name;
    const char* arguments;
    ExitCode exitCode;
    const char* out; // standard output is a text-mode stream here: lines end in CR LF
};

class CliOnWindowsTest : public ::testing::TestWithParam<CliCase> {};

TEST_P(CliOnWindowsTest, FindsNoUnitThroughTheSetupService) {
    ToolRun run = RunTool(GetParam().arguments);
    EXPECT_EQ(run.exitCode, static_cast<int>(GetParam().exitCode)) << run.err;
    EXPECT_EQ(run.out, GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(Commands, CliOnWindowsTest,
                         ::testing::Values(CliCase{"ListAsJson", "list --json", ExitCode::Success,
                                                   "[]\r\n"},
                                           CliCase{"Info", "info --model q", ExitCode::NoUnit, ""}),
                         [](const auto& info) { return info.param.name; });

} // namespace
