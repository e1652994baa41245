// One unit's download, as the window's Start runs it, with the record of every stage.
#include "flash_lane.h"

#include "download_progress.h"
#include "firmware_image.h"
#include "host_facts.h"
#include "identity_text.h"
#include "interrupt_flag.h"
#include "unit_session_runner.h"
#include "variant_profile.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <memory>

namespace {

const char* CauseName(DownloadFailureCause cause) {
    switch (cause) {
    case DownloadFailureCause::LinkFailed:
        return "link-failed";
    case DownloadFailureCause::Refused:
        return "refused";
    case DownloadFailureCause::NoAnswer:
        return "no-answer";
    case DownloadFailureCause::UnitRemoved:
        return "unit-removed";
    case DownloadFailureCause::Interrupted:
        return "interrupted";
    }
    return "?";
}

const char* CauseText(DownloadFailureCause cause) {
    switch (cause) {
    case DownloadFailureCause::LinkFailed:
        return "the link failed: the driver did not take the packet";
    case DownloadFailureCause::Refused:
        return "the unit refused it";
    case DownloadFailureCause::NoAnswer:
        return "the unit stopped answering";
    case DownloadFailureCause::UnitRemoved:
        return "the unit was unplugged";
    case DownloadFailureCause::Interrupted:
        return "interrupted";
    }
    return "?";
}

// The lane's figure of progress in the stage it is in: steps done of total.
void NoteStatus(LaneStatus& status, const DownloadReport& report, int position,
                std::size_t flashBlocks, std::uint32_t waitSteps) {
    status.stage = static_cast<int>(report.stage);
    switch (report.stage) {
    case DownloadStage::CpuBlocks:
        status.done = position;
        status.total = static_cast<long>(CPU_BLOCK_COUNT);
        break;
    case DownloadStage::FlashBlocks:
        status.done = static_cast<long>(report.flashBlocksSent);
        status.total = static_cast<long>(flashBlocks);
        break;
    case DownloadStage::Wait:
        status.done = report.waitStepsDone;
        status.total = static_cast<long>(waitSteps) + 1;
        break;
    default:
        status.done = 0;
        status.total = 0;
        break;
    }
}

} // namespace

void CopyImage(const FirmwareImage& from, FirmwareImage& to) {
    to.CpuRegion = from.CpuRegion;
    to.FlashRegion = from.FlashRegion;
    to.flashExtent = from.flashExtent;
    to.flashDataStored = from.flashDataStored;
    to.imageLoaded = from.imageLoaded;
}

ExitCode FlashLane::Run() {
    const LaneSettings& s = m_settings;
    UnitSessionRunner runner(*s.profile, s.devicePath, s.log);
    FlashTransferController& controller = runner.controller();
    DownloadSequence& sequence = controller.Sequence();
    std::unique_ptr<DownloadProgress> progress;
    runner.view.onMessage = [&](const ConsoleMessage& message) {
        if (!s.printMessages) {
            return;
        }
        if (progress && !sequence.IsRunning()) {
            progress->End(sequence.Report()); // the stage lines come before the closing message
        }
        std::FILE* to = message.icon == MessageIcon::Stop ? stderr : stdout;
        std::fprintf(to, "%s%s\n", s.prefix.c_str(), message.text.c_str());
        std::fflush(to);
    };

    m_record = s.common;
    m_record["time"] = UtcTimestamp();
    auto finish = [&](const char* result, ExitCode code, const nlohmann::ordered_json& message) {
        nlohmann::ordered_json head{{"result", result}};
        head.update(m_record);
        m_record = std::move(head);
        m_record["message"] = message;
        m_record["exitCode"] = static_cast<int>(code);
        if (s.printMessages && code != ExitCode::Success) {
            std::fprintf(stderr, "knot-fdt: %s%s\n", s.prefix.c_str(), m_resultLine.c_str());
        }
        m_status.ended = true;
        return code;
    };

    UnitSessionRunner::Found found = runner.OpenUnit();
    const std::string& path = runner.OpenedPath().empty() ? s.devicePath : runner.OpenedPath();
    m_record["devicePath"] =
        path.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(path);
    if (!runner.OpenedPath().empty()) {
        m_record["deviceNumber"] = runner.OpenedNumber();
    } else if (s.deviceNumber) {
        m_record["deviceNumber"] = *s.deviceNumber; // chosen, but it could not be opened
    } else {
        m_record["deviceNumber"] = nullptr;
    }
    m_record["identity"] = IdentityJson(runner.AnsweredRows());
    if (found != UnitSessionRunner::Found::Ready) {
        UnitNotFound what = DescribeUnitNotFound(found);
        m_record["failure"] = {{"stage", "identity"}, {"block", 0}, {"cause", what.result}};
        m_resultLine = what.text;
        return finish(what.result, what.code, what.text);
    }
    if (s.printIdentity) {
        PrintIdentityRows(runner.AnsweredRows());
    }

    CopyImage(*s.image, controller.Image());
    if (s.commitWaitMs) {
        if (*s.commitWaitMs == 0) {
            sequence.SetCommitWait(0, std::chrono::milliseconds(0));
        } else {
            auto ticks = static_cast<std::uint32_t>((*s.commitWaitMs + 9) / 10);
            sequence.SetCommitWait(ticks - 1, COMMIT_WAIT_TICK);
        }
    }
    const std::size_t flashBlocks = s.image->FlashBlockCount();
    const std::uint32_t waitSteps = sequence.CommitWaitSteps();
    progress = std::make_unique<DownloadProgress>(
        s.stageLines ? s.stageLines : stdout, s.bar, s.stageLines == nullptr,
        s.image->CountCpuBlocksToSend(), flashBlocks, waitSteps,
        s.commitWaitMs && *s.commitWaitMs == 0 ? std::chrono::milliseconds(0) : COMMIT_WAIT_TICK);
    progress->SetLinePrefix(s.prefix);

    const std::size_t messagesBefore = runner.view.messages.size();
    const DownloadReport& report = sequence.Report();
    auto note = [&] {
        progress->Update(report, runner.view.position);
        NoteStatus(m_status, report, runner.view.position, flashBlocks, waitSteps);
    };
    progress->Begin();
    controller.OnStartDownload();
    note();
    bool finished = runner.Pump([&] { return !sequence.IsRunning(); }, note,
                                [&] { return s.finishCommittedWait && report.commitSent; });
    if (!finished) {
        sequence.Cancel(); // between two blocks: nothing more goes to the unit
    }
    progress->End(report);
    m_status.stage = static_cast<int>(report.stage);

    m_record["blocksSent"] = {{"cpu", report.cpuBlocksSent}, {"flash", report.flashBlocksSent}};
    m_record["cpuBlocksSkipped"] = report.cpuBlocksSkipped;
    m_record["commitSent"] = report.commitSent;
    nlohmann::ordered_json seconds;
    for (DownloadStage stage :
         {DownloadStage::Prepare, DownloadStage::CpuBlocks, DownloadStage::FlashBlocks,
          DownloadStage::Commit, DownloadStage::Wait}) {
        seconds[StageName(stage)] = progress->StageSeconds(stage);
    }
    m_record["stageSeconds"] = seconds;
    if (report.failure) {
        m_record["failure"] = {{"stage", StageName(report.failure->stage)},
                               {"block", report.failure->blockNumber},
                               {"cause", CauseName(report.failure->cause)}};
    } else {
        m_record["failure"] = nullptr;
    }
    // Only what the logic said during this run: never the message of the load before it.
    nlohmann::ordered_json message = nullptr;
    if (runner.view.messages.size() > messagesBefore) {
        message = runner.view.messages.back().text;
    }

    if (!finished || (!report.succeeded && Interrupted())) {
        m_resultLine = std::string("interrupted during ") +
                       StageName(report.failure ? report.failure->stage : report.stage) + "; " +
                       (report.commitSent ? "the commit had been sent" : "no commit was sent");
        if (report.commitSent && !report.succeeded) {
            // The unit writes its flash on its own now; unplugging it would break that.
            const double tick = std::chrono::duration<double>(COMMIT_WAIT_TICK).count();
            const std::uint32_t left =
                waitSteps + 1 - std::min(report.waitStepsDone, waitSteps + 1);
            char text[128];
            std::snprintf(text, sizeof text,
                          ": the unit is still writing its flash, keep it plugged in for another "
                          "%.0f s",
                          std::ceil(left * tick));
            m_resultLine += text;
        }
        return finish("interrupted", ExitCode::Interrupted, message);
    }
    if (!report.succeeded) {
        char text[160] = "failed";
        if (report.failure) {
            const DownloadFailure& failure = *report.failure;
            if (failure.blockNumber > 0) {
                std::snprintf(text, sizeof text, "failed in stage %s at block %d: %s",
                              StageName(failure.stage), static_cast<int>(failure.blockNumber),
                              CauseText(failure.cause));
            } else {
                std::snprintf(text, sizeof text, "failed in stage %s: %s", StageName(failure.stage),
                              CauseText(failure.cause));
            }
        }
        m_resultLine = text;
        return finish("failed", ExitCode::DownloadFailed, message);
    }
    m_resultLine = "written";
    return finish("written", ExitCode::Success, message);
}
