// What knot-fdt draws on a terminal, without one: the live lines fit any width, and escape
// sequences go only to a console that takes them.
#include "knot_names.h"

#include "live_lines.h"
#include "terminal_output.h"

#include <gtest/gtest.h>

namespace {

TEST(LiveLines, NoLineIsWiderThanTheTerminalAndNoneGoesBelowIt) {
    std::vector<LaneLook> lanes;
    for (int copy = 0; copy < 3; ++copy) {
        for (Stage stage : {Stage::Idle, Stage::Prepare, Stage::CpuBlocks, Stage::FlashBlocks,
                            Stage::Commit, Stage::Wait}) {
            lanes.push_back({"unit 2147483647", stage, 3405, 8192, CommitWait{}});
        }
    }
    const std::string footer = "12 passed, 3 failed, 1 interrupted, 6 in progress";
    for (TerminalSize size : {TerminalSize{8, 0}, TerminalSize{20, 4}, TerminalSize{40, 20},
                              TerminalSize{80, 24}, TerminalSize{200, 60}}) {
        const std::vector<std::string> lines = DrawLiveLines(lanes, footer, size);
        EXPECT_EQ(lines.size(),
                  size.rows > 1 ? std::min(size.rows - 1, MAX_LIVE_LINES) : MAX_LIVE_LINES);
        EXPECT_EQ(lines[lines.size() - 2].rfind("and ", 0), 0u) << lines[lines.size() - 2];
        for (const std::string& line : lines) {
            EXPECT_LT(ColumnsOf(line), size.columns) << size.columns << ": " << line;
        }
    }
    for (const std::string& line : WrapToWidth(footer + " " + std::string(70, '#'), 19)) {
        EXPECT_LE(ColumnsOf(line), 19u) << line;
    }
    EXPECT_EQ(DrawLiveLines({lanes[2]}, "", {40, 20}),
              std::vector<std::string>{"unit 2147483647 cpu     [###.....]  41%"});
    EXPECT_EQ(FitToWidth("unité 12345", 8), "unité...") << "é is two bytes and one column";
    // Lines drawn 39 wide take two rows each once the terminal is narrowed to 30.
    EXPECT_EQ(RowsTaken({39, 30, 39, 0}, 30), 6u);
    EXPECT_EQ(RowsTaken({39, 39}, 40), 2u);
}

struct ModeCase {
    const char* what;
    ConsoleAnswers answers;
    OutputMode mode;
};

TEST(TerminalOutput, EscapeSequencesOnlyForAConsoleThatTakesThem) {
    const ModeCase cases[] = {
        {"a file, a pipe or NUL", {false, false, false}, OutputMode::PlainLines},
        {"a console that takes them already", {true, true, false}, OutputMode::EscapeSequences},
        {"a console that took them when asked", {true, false, true}, OutputMode::EscapeSequences},
        {"a console that refused them", {true, false, false}, OutputMode::PlainLines},
    };
    for (const ModeCase& c : cases) {
        EXPECT_EQ(ChooseOutputMode(c.answers), c.mode) << c.what;
    }
}

} // namespace
