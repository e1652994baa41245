#include "live_lines.h"

#include "failure.h"

#include <algorithm>
#include <cmath>

namespace knot::cli {
using namespace knot::logic;

namespace {

constexpr const char* ELLIPSIS = "..."; // every terminal and console code page shows it
constexpr std::size_t ELLIPSIS_COLUMNS = 3;
constexpr std::size_t LABEL_COLUMNS = 8;
constexpr std::size_t STAGE_COLUMNS = 7;
constexpr std::size_t MIN_BAR = 6; // a narrower bar says nothing that the percent does not
constexpr std::size_t MAX_BAR = 20;
constexpr std::string_view INDENT = "  "; // before the lines that go on a line printed for good

bool StartsCharacter(char byte) {
    return (static_cast<unsigned char>(byte) & 0xC0) != 0x80; // not a UTF-8 continuation byte
}

// The byte at which the character in column `column` (from 0) begins, or the end of `text`.
std::size_t ByteOfColumn(std::string_view text, std::size_t column) {
    std::size_t at = 0;
    for (std::size_t seen = 0; at < text.size(); ++at) {
        if (StartsCharacter(text[at]) && seen++ == column) {
            break;
        }
    }
    return at;
}

std::string Padded(std::string text, std::size_t columns) {
    const std::size_t used = ColumnsOf(text);
    if (used < columns) {
        text.append(columns - used, ' ');
    }
    return text;
}

// A stage with blocks: its percent always; a bar and the blocks done of all, as far as they fit.
std::string StepsLine(const std::string& head, const LaneLook& lane, std::size_t width) {
    const long total = std::max(lane.total, 1L);
    const long done = std::clamp(lane.done, 0L, total);
    char percent[32];
    std::snprintf(percent, sizeof percent, " %3ld%%", done * 100 / total);
    const std::string counts = "  " + std::to_string(done) + "/" + std::to_string(total);
    const std::size_t used = ColumnsOf(head) + ColumnsOf(percent);
    const std::size_t room = width > used ? width - used : 0;
    if (room >= counts.size() + 2 + MIN_BAR) {
        return head + ProgressBar(std::min(MAX_BAR, room - counts.size() - 2), done, total) +
               percent + counts;
    }
    if (room >= 2 + MIN_BAR) {
        return head + ProgressBar(std::min(MAX_BAR, room - 2), done, total) + percent;
    }
    return head + percent + (room >= counts.size() ? counts : "");
}

std::string LaneLine(const LaneLook& lane, std::size_t width) {
    const char* stage = lane.stage == Stage::Idle ? "opening" : StageName(lane.stage);
    const std::string head = Padded(lane.label, LABEL_COLUMNS) + " " + Padded(stage, STAGE_COLUMNS);
    switch (lane.stage) {
    case Stage::CpuBlocks:
    case Stage::FlashBlocks:
        return FitToWidth(StepsLine(head + " ", lane, width), width);
    case Stage::Wait: {
        // The unit writes its flash now: the time it still needs, and the one thing not to do.
        const std::uint32_t left = lane.wait.TicksLeft(static_cast<std::uint32_t>(lane.done));
        const auto seconds = static_cast<long>(std::ceil(lane.wait.Seconds(left)));
        return FitToWidth(head + " " + std::to_string(seconds) + " s: do not unplug", width);
    }
    default:
        return FitToWidth(head.substr(0, head.find_last_not_of(' ') + 1), width);
    }
}

} // namespace

std::string ProgressBar(std::size_t width, long done, long total) {
    const auto filled = static_cast<std::size_t>(done * static_cast<long>(width) / total);
    std::string bar(width + 2, '.');
    bar.front() = '[';
    bar.back() = ']';
    std::fill_n(bar.begin() + 1, filled, '#');
    return bar;
}

std::size_t ColumnsOf(std::string_view text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), StartsCharacter));
}

std::string FitToWidth(std::string_view text, std::size_t columns) {
    if (ColumnsOf(text) <= columns) {
        return std::string(text);
    }
    const bool marked = columns >= ELLIPSIS_COLUMNS;
    const std::size_t kept = ByteOfColumn(text, marked ? columns - ELLIPSIS_COLUMNS : columns);
    return std::string(text.substr(0, kept)) + (marked ? ELLIPSIS : "");
}

std::vector<std::string> WrapToWidth(std::string_view text, std::size_t columns) {
    columns = std::max<std::size_t>(columns, 1);
    const std::string indent(columns > 2 * INDENT.size() ? INDENT : std::string_view());
    std::vector<std::string> lines;
    // A line with a word too wide for any line goes on over as many lines as it takes.
    auto add = [&](std::string line) {
        while (ColumnsOf(line) > columns) {
            const std::size_t cut = ByteOfColumn(line, columns);
            lines.push_back(line.substr(0, cut));
            line = indent + line.substr(cut);
        }
        lines.push_back(std::move(line));
    };
    std::string line;
    for (std::size_t at = 0, start; (start = text.find_first_not_of(' ', at)) != text.npos;) {
        const std::size_t end = std::min(text.find(' ', start), text.size());
        const std::string_view gap = text.substr(at, start - at);
        const std::string_view word = text.substr(start, end - start);
        if (!line.empty() && ColumnsOf(line) + gap.size() + ColumnsOf(word) > columns) {
            add(std::move(line));
            line = indent;
        } else {
            line += gap;
        }
        line += word;
        at = end;
    }
    add(std::move(line));
    return lines;
}

std::size_t LineColumns(TerminalSize size) {
    return size.columns > 1 ? size.columns - 1 : 1;
}

std::vector<std::string> DrawLiveLines(const std::vector<LaneLook>& lanes, std::string_view footer,
                                       TerminalSize size) {
    const std::size_t width = LineColumns(size);
    std::size_t most = MAX_LIVE_LINES;
    if (size.rows > 1) {
        most = std::min(most, size.rows - 1);
    }
    const std::size_t forLanes = footer.empty() ? most : most - 1;
    // Lanes beyond those that fit give their place to one line that sums them up.
    std::size_t shown = lanes.size();
    if (shown > forLanes) {
        shown = forLanes > 0 ? forLanes - 1 : 0;
    }
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < shown; ++i) {
        lines.push_back(LaneLine(lanes[i], width));
    }
    if (shown < lanes.size() && forLanes > 0) {
        const auto waiting =
            std::count_if(lanes.begin() + static_cast<long>(shown), lanes.end(),
                          [](const LaneLook& lane) { return lane.stage == Stage::Wait; });
        lines.push_back(FitToWidth("and " + std::to_string(lanes.size() - shown) + " more units (" +
                                       std::to_string(waiting) +
                                       " in their wait: do not unplug them)",
                                   width));
    }
    if (!footer.empty()) {
        lines.push_back(FitToWidth(footer, width));
    }
    return lines;
}

std::size_t RowsTaken(const std::vector<std::size_t>& lineColumns, std::size_t columns) {
    std::size_t rows = 0;
    for (std::size_t width : lineColumns) {
        rows += columns > 0 && width > columns ? (width + columns - 1) / columns : 1;
    }
    return rows;
}

std::string LiveBlock::BackOverDrawn() const {
    const std::size_t columns = TerminalSizeOf(m_out, DEFAULT_TERMINAL_SIZE).columns;
    const std::size_t rows = RowsTaken(m_drawn, columns);
    return rows > 0 ? "\x1b[" + std::to_string(rows) + "A\r" : "\r";
}

void LiveBlock::Draw(const std::vector<std::string>& lines) {
    std::string text = BackOverDrawn();
    m_drawn.clear();
    for (const std::string& line : lines) {
        text += line + "\x1b[K\n";
        m_drawn.push_back(ColumnsOf(line));
    }
    text += "\x1b[J"; // what is left of a longer block before
    std::fputs(text.c_str(), m_out);
    std::fflush(m_out);
}

void LiveBlock::Clear() {
    if (!m_drawn.empty()) {
        std::fputs((BackOverDrawn() + "\x1b[J").c_str(), m_out);
        std::fflush(m_out);
        m_drawn.clear();
    }
}

void LiveBlock::Print(std::string_view line) {
    Clear();
    const TerminalSize size = TerminalSizeOf(m_out, DEFAULT_TERMINAL_SIZE);
    for (const std::string& piece : WrapToWidth(line, LineColumns(size))) {
        std::fprintf(m_out, "%s\n", piece.c_str());
    }
    std::fflush(m_out);
}

} // namespace knot::cli
