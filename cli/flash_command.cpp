#include "flash_command.h"

#include "download_progress.h"
#include "identity_text.h"
#include "interrupt_flag.h"
#include "model_option.h"
#include "sha256.h"
#include "srecord_loader.h"
#include "unit_session_runner.h"
#include "variant_profile.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <memory>

#ifdef _WIN32
#include <io.h>
#define KNOT_ISATTY _isatty
#define KNOT_FILENO _fileno
#else
#include <unistd.h>
#define KNOT_ISATTY isatty
#define KNOT_FILENO fileno
#endif

namespace {

// An hour: far beyond the longest wait of any model (about 60 s).
constexpr long MAX_COMMIT_WAIT_MS = 3600L * 1000L;

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

ExitCode LoadExitCode(const LoadResult& load) {
    return load.kind == LoadResult::Rejected ? ExitCode::ImageRejected : ExitCode::FileError;
}

} // namespace

CLI::App* FlashCommand::Register(CLI::App& app) {
    CLI::App* command = app.add_subcommand(
        "flash", "Write an S-Record image into the attached unit as the transfer tool's Start "
                 "does (exit 0 written, 1 rejected, 2 file error, 3 no unit, 4 no answer to the "
                 "identity query, 5 download failed, 130 interrupted)");
    AddModelOption(*command, m_model);
    command->add_flag("--json", m_bJson, "print one JSON object at the end instead of text");
    m_commitWaitOption =
        command
            ->add_option("--commit-wait-ms", m_commitWaitMs,
                         "wait this long after the commit instead of the model's fixed wait; "
                         "meant for simulated units only, a real unit needs its full wait")
            ->check(CLI::Range(0L, MAX_COMMIT_WAIT_MS));
    command->add_option("FILE", m_path, "the S-Record file (*.mot)")->required();
    return command;
}

ExitCode FlashCommand::Run() {
    const VariantProfile& profile = ProfileForModel(m_model);
    WatchForInterrupt();
    UnitSessionRunner runner(profile);
    FlashTransferController& controller = runner.controller();
    DownloadSequence& sequence = controller.Sequence();
    std::unique_ptr<DownloadProgress> progress;
    runner.view.onMessage = [&](const ConsoleMessage& message) {
        if (m_bJson) {
            return;
        }
        if (progress && !sequence.IsRunning()) {
            progress->End(sequence.Report()); // the stage lines come before the closing message
        }
        bool stop = message.icon == MessageIcon::Stop;
        std::fprintf(stop ? stderr : stdout, "%s\n", message.text.c_str());
        std::fflush(stop ? stderr : stdout);
    };

    nlohmann::ordered_json out;
    out["model"] = NormaliseModel(m_model);
    out["file"] = m_path;
    auto finish = [&](const char* result, ExitCode code) {
        if (m_bJson) {
            nlohmann::ordered_json head{{"result", result}};
            head.update(out);
            out = std::move(head);
            out["message"] = runner.view.messages.empty()
                                 ? nlohmann::ordered_json(nullptr)
                                 : nlohmann::ordered_json(runner.view.messages.back().text);
            out["exitCode"] = static_cast<int>(code);
            std::printf(
                "%s\n",
                out.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace).c_str());
        }
        std::fflush(stdout);
        return code;
    };

    controller.OnFileChosen(m_path);
    const LoadResult& load = controller.LastLoadResult();
    if (load.kind != LoadResult::Loaded) {
        if (load.kind == LoadResult::Rejected) {
            out["line"] = load.line;
            out["reason"] = DescribeRejectReason(load.reason);
            if (!m_bJson) {
                std::fprintf(stderr, "knot-fdt: line %llu: %s\n",
                             static_cast<unsigned long long>(load.line),
                             DescribeRejectReason(load.reason));
            }
        }
        return finish(load.kind == LoadResult::Rejected ? "rejected" : "file-error",
                      LoadExitCode(load));
    }
    if (std::optional<std::string> digest = Sha256OfFile(m_path)) {
        out["sha256"] = *digest;
    }

    UnitSessionRunner::Found found = runner.OpenUnit();
    if (found != UnitSessionRunner::Found::Ready) {
        if (m_bJson) {
            out["error"] = found == UnitSessionRunner::Found::NoUnit
                               ? "no qualifying unit is attached"
                               : "the unit did not answer its identity query";
        }
        return m_bJson
                   ? finish(
                         found == UnitSessionRunner::Found::Interrupted ? "interrupted" : "no-unit",
                         found == UnitSessionRunner::Found::NoUnit        ? ExitCode::NoUnit
                         : found == UnitSessionRunner::Found::Interrupted ? ExitCode::Interrupted
                                                                          : ExitCode::UnitRefused)
                   : ReportUnitNotFound(found, false);
    }
    out["identity"] = IdentityJson(runner.view);
    if (!m_bJson) {
        PrintIdentityRows(runner.view);
    }

    if (m_commitWaitOption->count() > 0) {
        if (m_commitWaitMs == 0) {
            sequence.SetCommitWait(0, std::chrono::milliseconds(0));
        } else {
            auto ticks = static_cast<std::uint32_t>((m_commitWaitMs + 9) / 10);
            sequence.SetCommitWait(ticks - 1, COMMIT_WAIT_TICK);
        }
    }
    bool bar = !m_bJson && KNOT_ISATTY(KNOT_FILENO(stdout));
    progress = std::make_unique<DownloadProgress>(
        stdout, bar, m_bJson, controller.Image().FlashBlockCount(), sequence.CommitWaitSteps(),
        m_commitWaitOption->count() > 0 && m_commitWaitMs == 0 ? std::chrono::milliseconds(0)
                                                               : COMMIT_WAIT_TICK);

    progress->Begin();
    controller.OnStartDownload();
    const DownloadReport& report = sequence.Report();
    progress->Update(report, runner.view.position);
    bool finished = runner.Pump([&] { return !sequence.IsRunning(); },
                                [&] { progress->Update(report, runner.view.position); });
    if (!finished) {
        sequence.Cancel(); // between two blocks: nothing more goes to the unit
    }
    progress->End(report);

    out["blocksSent"] = {{"cpu", report.cpuBlocksSent}, {"flash", report.flashBlocksSent}};
    out["cpuBlocksSkipped"] = report.cpuBlocksSkipped;
    out["commitSent"] = report.commitSent;
    nlohmann::ordered_json seconds;
    for (DownloadStage stage :
         {DownloadStage::Prepare, DownloadStage::CpuBlocks, DownloadStage::FlashBlocks,
          DownloadStage::Commit, DownloadStage::Wait}) {
        seconds[StageName(stage)] = progress->StageSeconds(stage);
    }
    out["stageSeconds"] = seconds;
    if (report.failure) {
        out["failure"] = {{"stage", StageName(report.failure->stage)},
                          {"block", report.failure->blockNumber},
                          {"cause", CauseName(report.failure->cause)}};
    } else {
        out["failure"] = nullptr;
    }

    if (!finished) {
        if (!m_bJson) {
            std::fprintf(stderr, "knot-fdt: interrupted during %s; %s\n",
                         StageName(report.failure->stage),
                         report.commitSent ? "the commit had been sent" : "no commit was sent");
        }
        return finish("interrupted", ExitCode::Interrupted);
    }
    if (!report.succeeded) {
        if (!m_bJson && report.failure) {
            const DownloadFailure& failure = *report.failure;
            if (failure.blockNumber > 0) {
                std::fprintf(stderr, "knot-fdt: failed in stage %s at block %d: %s\n",
                             StageName(failure.stage), static_cast<int>(failure.blockNumber),
                             CauseText(failure.cause));
            } else {
                std::fprintf(stderr, "knot-fdt: failed in stage %s: %s\n", StageName(failure.stage),
                             CauseText(failure.cause));
            }
        }
        return finish("failed", ExitCode::DownloadFailed);
    }
    return finish("written", ExitCode::Success);
}
