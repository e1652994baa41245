#include "download_progress.h"
#include "failure.h"

#include "firmware_image.h"
#include "live_lines.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace knot::cli {
using namespace knot::core;
using namespace knot::logic;

namespace {

constexpr std::chrono::milliseconds REDRAW_INTERVAL{100};
constexpr std::size_t BAR_WIDTH = 24;

double Seconds(DownloadProgress::Clock::duration duration) {
    return std::chrono::duration<double>(duration).count();
}

// "s" for any count but one.
const char* Plural(std::size_t count) {
    return count == 1 ? "" : "s";
}

} // namespace

DownloadProgress::DownloadProgress(std::FILE* out, bool bar, std::size_t cpuBlocks,
                                   std::size_t flashBlocks, const CommitWait& wait)
    : m_out(out), m_bar(bar), m_cpuBlocks(cpuBlocks), m_flashBlocks(flashBlocks), m_wait(wait) {}

void DownloadProgress::Begin() {
    m_lastDraw = Clock::now();
    m_times.Begin(m_lastDraw);
}

void DownloadProgress::BeginStage(Stage stage, const DownloadReport& report) {
    const Stage closing = m_times.Current();
    if (closing == Stage::Finished) {
        return;
    }
    const double seconds = m_times.Enter(stage, Clock::now());
    CloseStage(closing, report, seconds);
}

void DownloadProgress::Step(const DownloadReport& report, long position) {
    const Clock::time_point now = Clock::now();
    if (m_bar && m_times.Current() != Stage::Finished && now - m_lastDraw >= REDRAW_INTERVAL) {
        DrawBar(report, position, now);
        m_lastDraw = now;
    }
}

void DownloadProgress::End(const DownloadReport& report) {
    const Stage closing = m_times.Current();
    if (closing == Stage::Finished) {
        return;
    }
    ClearBar();
    CloseStage(closing, report, m_times.End(Clock::now()));
}

void DownloadProgress::ClearBar() {
    if (m_barShown) {
        std::fprintf(m_out, "\r\x1b[K");
        std::fflush(m_out);
        m_barShown = false;
    }
}

void DownloadProgress::CloseStage(Stage stage, const DownloadReport& report, double seconds) {
    if (stage == Stage::Idle || stage == Stage::Finished) {
        return;
    }
    ClearBar();
    bool failedHere = report.failure && report.failure->stage == stage;
    switch (stage) {
    case Stage::Prepare:
        std::fprintf(m_out, "%sprepare  %-44s %8.3f s\n", m_prefix.c_str(),
                     failedHere ? "failed" : "acknowledged", seconds);
        break;
    case Stage::CpuBlocks: {
        char text[64];
        std::snprintf(text, sizeof text, "%zu block%s sent, %zu blank skipped",
                      report.cpuBlocksSent, Plural(report.cpuBlocksSent), report.cpuBlocksSkipped);
        std::fprintf(m_out, "%scpu      %-44s %8.3f s\n", m_prefix.c_str(), text, seconds);
        break;
    }
    case Stage::FlashBlocks: {
        char text[64];
        std::snprintf(text, sizeof text, "%zu of %zu block%s sent", report.flashBlocksSent,
                      m_flashBlocks, Plural(m_flashBlocks));
        std::fprintf(m_out, "%sflash    %-44s %8.3f s\n", m_prefix.c_str(), text, seconds);
        break;
    }
    case Stage::Commit:
        std::fprintf(m_out, "%scommit   %-44s %8.3f s\n", m_prefix.c_str(),
                     report.commitSent ? "sent" : "failed", seconds);
        break;
    case Stage::Wait: {
        char text[64];
        std::snprintf(text, sizeof text, "%u of %u tick%s", report.waitStepsDone, m_wait.Ticks(),
                      Plural(m_wait.Ticks()));
        std::fprintf(m_out, "%swait     %-44s %8.3f s\n", m_prefix.c_str(), text, seconds);
        break;
    }
    default:
        break;
    }
    std::fflush(m_out);
}

void DownloadProgress::DrawBar(const DownloadReport& report, long position, Clock::time_point now) {
    long total = 0;
    const Stage stage = m_times.Current();
    switch (stage) {
    case Stage::CpuBlocks:
        total = static_cast<long>(CPU_BLOCK_COUNT);
        break;
    case Stage::FlashBlocks:
        total = static_cast<long>(m_flashBlocks);
        break;
    case Stage::Wait:
        total = static_cast<long>(m_wait.Ticks());
        break;
    default:
        return; // a command has no steps to show
    }
    total = std::max(total, 1L);
    const long done = std::clamp(position, 0L, total);
    const std::string bar = ProgressBar(BAR_WIDTH, done, total);
    const double waitLeft = m_wait.Seconds(m_wait.TicksLeft(report.waitStepsDone));
    char line[256];
    if (stage == Stage::Wait) {
        // The unit writes its flash now: a countdown, and the one thing the operator must not do.
        std::snprintf(line, sizeof line, "wait   %s %3.0f s left: do not unplug the unit",
                      bar.c_str(), std::ceil(waitLeft));
    } else {
        // One estimate for the whole run: the blocks still to send at the pace so far, then the
        // fixed wait. The rate is shown only while blocks move.
        const std::size_t sent = report.cpuBlocksSent + report.flashBlocksSent;
        const std::size_t toSend = m_cpuBlocks + m_flashBlocks;
        const double blockSeconds = Seconds(now - m_times.RunStart());
        char pace[48] = "";
        char left[32] = "";
        bool moving = sent > m_lastSent;
        m_lastSent = sent;
        if (sent > 0) {
            double perBlock = blockSeconds / static_cast<double>(sent);
            double remaining =
                perBlock * static_cast<double>(toSend > sent ? toSend - sent : 0) + waitLeft;
            std::snprintf(left, sizeof left, "%5.0f s left", remaining);
            if (moving) {
                std::snprintf(pace, sizeof pace, "%7.1f KiB/s", 32.0 / 1024.0 / perBlock);
            }
        }
        std::snprintf(line, sizeof line, "%-6s %s %6ld/%-6ld %12s %s", StageName(stage),
                      bar.c_str(), done, total, pace, left);
    }
    // Never as wide as the terminal, read again each time: a line that wraps is not redrawn.
    const std::string shown =
        FitToWidth(line, LineColumns(TerminalSizeOf(m_out, DEFAULT_TERMINAL_SIZE)));
    std::fprintf(m_out, "\r%s\x1b[K", shown.c_str());
    std::fflush(m_out);
    m_barShown = true;
}

} // namespace knot::cli
