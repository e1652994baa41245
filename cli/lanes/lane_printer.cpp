// A lane on the terminal.
#include "lane_printer.h"

#include "identity_text.h"
#include "lane_runner.h"

namespace knot::cli {
using namespace knot::station;

LanePrinter::LanePrinter(LanePrinting printing, std::size_t cpuBlocks, std::size_t flashBlocks,
                         const CommitWait& wait)
    : m_printing(std::move(printing)) {
    if (m_printing.stageLines != nullptr) {
        m_progress.emplace(m_printing.stageLines, m_printing.bar, cpuBlocks, flashBlocks, wait);
        m_progress->SetLinePrefix(m_printing.prefix);
    }
}

void LanePrinter::OnUnitReady(const IdentityValues& rows) {
    if (m_printing.printIdentity) {
        PrintIdentityRows(rows);
    }
    if (m_progress) {
        m_progress->Begin();
    }
}

void LanePrinter::OnDownloadEvent(const LogicEvent& event, const DownloadReport& report) {
    if (const auto* began = std::get_if<StageBegan>(&event); began && m_progress) {
        m_progress->BeginStage(began->stage, report);
    } else if (const auto* step = std::get_if<BlockStep>(&event); step && m_progress) {
        m_progress->Step(report, step->number);
    } else if (const auto* tick = std::get_if<WaitTick>(&event); tick && m_progress) {
        m_progress->Step(report, tick->done);
    } else if (const auto* ended = std::get_if<RunEnded>(&event)) {
        if (m_progress) {
            m_progress->End(ended->report); // the stage lines come before the message
        }
        if (m_printing.printMessages && ended->closing) {
            std::FILE* to = ended->closing->icon == MessageIcon::Stop ? stderr : stdout;
            std::fprintf(to, "%s%s\n", m_printing.prefix.c_str(), ended->closing->text.c_str());
            std::fflush(to);
        }
    }
}

void LanePrinter::OnLaneEnded(const LaneEnd& end) {
    if (m_printing.printMessages && end.code != ExitCode::Success) {
        // A busy unit's line names the unit itself.
        const bool named = end.code == ExitCode::UnitBusy;
        std::fprintf(stderr, "knot-fdt: %s%s\n", named ? "" : m_printing.prefix.c_str(),
                     end.line.c_str());
    }
}

std::vector<LaneLook> LooksOf(const std::list<RunningLane>& lanes) {
    std::vector<LaneLook> looks;
    for (const RunningLane& entry : lanes) {
        const LaneStatus& status = entry.lane->Status();
        if (!status.ended) {
            looks.push_back({"unit " + std::to_string(entry.number),
                             static_cast<Stage>(status.stage.load()), status.done.load(),
                             status.total.load(), entry.lane->Wait()});
        }
    }
    return looks;
}

} // namespace knot::cli
