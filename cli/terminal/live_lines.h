// The lines knot-fdt redraws in place on a terminal (the lanes of flash --all, the station's live
// lines): what they say is a pure function of the lanes and the terminal's size, so that no line
// is ever wider than the terminal; LiveBlock draws them over the ones it drew before.
#pragma once

#include "commit_wait.h"
#include "failure.h"
#include "terminal_output.h"

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace knot::cli {
using namespace knot::logic;

// At most this many live lines, however tall the terminal.
inline constexpr std::size_t MAX_LIVE_LINES = 12;
// What a width that cannot be read is taken to be.
inline constexpr TerminalSize DEFAULT_TERMINAL_SIZE{80, 24};

// One lane as its live line shows it.
struct LaneLook {
    std::string label; // "unit 3"
    Stage stage = Stage::Idle;
    long done = 0; // steps of the stage done, of `total` (0 of 0 for a stage without steps)
    long total = 0;
    CommitWait wait; // the lane's wait after the commit, for the time left in it
};

// The columns `text` takes (a UTF-8 character takes one).
std::size_t ColumnsOf(std::string_view text);
// `text` cut to at most `columns` columns, ending in "..." when it was cut; no UTF-8 character is
// cut in two.
std::string FitToWidth(std::string_view text, std::size_t columns);
// "[#####.....]": `width` places, filled in the share `done` of `total` (0 <= done <= total, 1 <=
// total): the one bar of every progress line.
std::string ProgressBar(std::size_t width, long done, long total);

// `text` broken at its spaces into lines of at most `columns` columns, those after the first
// indented (a word wider than a line goes on over the next).
std::vector<std::string> WrapToWidth(std::string_view text, std::size_t columns);

// The columns a line drawn in place may take: one less than the terminal has, so that no console
// wraps it.
std::size_t LineColumns(TerminalSize size);

// The live lines: a line per lane, in order, then `footer` (unless empty), each at most
// LineColumns(size) wide. With more lines than fit (the
// terminal's rows less one, at most MAX_LIVE_LINES), the last lanes are summed up in one line.
std::vector<std::string> DrawLiveLines(const std::vector<LaneLook>& lanes, std::string_view footer,
                                       TerminalSize size);

// The rows that lines of these column counts take on a terminal `columns` wide: a terminal
// narrowed since they were drawn wraps them again (as most terminals do on a resize), so that a
// line may now take more than one row.
std::size_t RowsTaken(const std::vector<std::size_t>& lineColumns, std::size_t columns);

// A block of lines at the bottom of a terminal, drawn again over itself. Every line it draws fits
// the width, so the cursor goes back up exactly as many rows as it drew, or as many as the lines
// take after the terminal was narrowed.
class LiveBlock {
  public:
    explicit LiveBlock(std::FILE* out) : m_out(out) {}

    // Draws `lines` in place of the lines drawn before.
    void Draw(const std::vector<std::string>& lines);
    // Takes the lines away, so that a line printed next takes their place.
    void Clear();
    // Prints `line` for good where the lines were, wrapped to the terminal's width; the lines
    // are drawn again below it at the next Draw.
    void Print(std::string_view line);

  private:
    // Up to the first row of the lines drawn before, as the terminal shows them now.
    std::string BackOverDrawn() const;

    std::FILE* m_out;
    std::vector<std::size_t> m_drawn; // the columns of each line drawn before
};

} // namespace knot::cli
