// The download of one unit, one step at a time.
#include "download_core.h"

#include "command_texts.h"
#include "firmware_image.h"
#include "operator_texts.h"
#include "string_table.h"

namespace knot::logic {
using namespace knot::core;
using namespace knot::device;

Cause DownloadCauseOf(Exchange exchange) {
    switch (exchange) {
    case Exchange::LinkFailed:
        return Cause::LinkFailed;
    case Exchange::Refused:
        return Cause::Refused;
    default:
        return Cause::NoAnswer;
    }
}

DownloadCore::DownloadCore(const VariantProfile& profile, DriverPort& port, TransferLog& log,
                           LogicObserver& events, SleepFunction sleep, BeepFunction beep)
    : m_profile(profile), m_events(events), m_sleep(std::move(sleep)),
      m_caption(ProgramTitle(profile)), m_link(port, log), m_protocol(m_link, std::move(beep)),
      m_deviceInfo(profile, events, m_protocol), m_wait{profile.commitWaitSteps, COMMIT_WAIT_TICK} {
}

Exchange DownloadCore::InitializeSettingData() {
    const CommandCode code = m_protocol.SendCommandText(InitializeCommandText());
    return code == 0 ? Exchange::LinkFailed : m_protocol.WaitForAck(code);
}

bool DownloadCore::Begin(const FirmwareImage& image, const CommitWait& wait) {
    if (m_running) {
        return false; // one run at a time
    }
    m_image = &image;
    m_wait = wait;
    m_running = true;
    m_next = {Stage::Prepare, 0};
    m_report = DownloadReport{};
    m_report.stage = Stage::Prepare;
    return true;
}

StepResult DownloadCore::Advance() {
    if (!m_running) {
        return StepResult::Idle;
    }
    const std::size_t index = m_next.index;
    switch (m_next.stage) {
    case Stage::Prepare:
        return Prepare();
    case Stage::CpuBlocks:
        return CpuStep(index);
    case Stage::FlashBlocks:
        return FlashStep(index);
    default:
        return CommitStep(index);
    }
}

StepResult DownloadCore::Prepare() {
    BeginStage(Stage::Prepare);
    const CommandCode code = m_protocol.SendCommandText(PrepareCommandText(m_profile));
    const Exchange answer = code == 0 ? Exchange::LinkFailed : m_protocol.WaitForAck(code);
    if (answer != Exchange::Accepted) {
        return Fail(Stage::Prepare, 0, answer);
    }
    m_events.OnLogicEvent(BlocksPlanned{static_cast<std::uint32_t>(CPU_BLOCK_COUNT),
                                        static_cast<std::uint32_t>(m_image->FlashBlockCount())});
    m_next = {Stage::CpuBlocks, 0};
    return StepResult::Passed;
}

StepResult DownloadCore::CpuStep(std::size_t i) {
    if (i == 0) {
        m_report.stage = Stage::CpuBlocks;
        BeginStage(Stage::CpuBlocks, static_cast<std::uint32_t>(CPU_BLOCK_COUNT));
    } else if (i >= CPU_BLOCK_COUNT) {
        m_next = {LastFlashIndex() >= 0 ? Stage::FlashBlocks : Stage::Commit, 0};
        return StepResult::Passed;
    }
    const bool blank = m_image->IsCpuBlockBlank(i);
    if (blank) {
        ++m_report.cpuBlocksSkipped;
    } else {
        const auto block = static_cast<std::int32_t>(i + 1);
        const Exchange answer =
            m_protocol.SendDataBlock(m_image->CpuBlock(i).data(), block, m_profile.cpuBlockType);
        if (answer != Exchange::Accepted) {
            return Fail(Stage::CpuBlocks, block, answer);
        }
        ++m_report.cpuBlocksSent;
    }
    m_next = {Stage::CpuBlocks, i + 1};
    m_events.OnLogicEvent(BlockStep{Stage::CpuBlocks, static_cast<std::uint32_t>(i + 1),
                                    static_cast<std::uint32_t>(CPU_BLOCK_COUNT), !blank});
    return StepResult::Shown;
}

StepResult DownloadCore::FlashStep(std::size_t j) {
    const auto count = static_cast<std::uint32_t>(m_image->FlashBlockCount());
    if (j == 0) {
        m_report.stage = Stage::FlashBlocks;
        BeginStage(Stage::FlashBlocks, count);
    }
    if (static_cast<long long>(j) > LastFlashIndex()) {
        m_next = {Stage::Commit, 0};
        return StepResult::Passed;
    }
    const auto block = static_cast<std::int32_t>(j + 1);
    const Exchange answer =
        m_protocol.SendDataBlock(m_image->FlashBlock(j).data(), block, m_profile.flashBlockType);
    if (answer != Exchange::Accepted) {
        return Fail(Stage::FlashBlocks, block, answer);
    }
    ++m_report.flashBlocksSent;
    m_next = {Stage::FlashBlocks, j + 1};
    m_events.OnLogicEvent(
        BlockStep{Stage::FlashBlocks, static_cast<std::uint32_t>(j + 1), count, true});
    return StepResult::Shown;
}

StepResult DownloadCore::CommitStep(std::size_t k) {
    if (k == 0) {
        m_report.stage = Stage::Commit;
        BeginStage(Stage::Commit);
        // The commit's answer is never read: the unit starts writing its flash.
        if (m_protocol.SendCommandText(CommitCommandText(m_profile)) == 0) {
            return Fail(Stage::Commit, 0, Exchange::LinkFailed);
        }
        m_report.commitSent = true;
        m_report.stage = Stage::Wait;
        m_deviceInfo.ResetDeviceInfo();
        m_events.OnLogicEvent(CommitSent{});
        BeginStage(Stage::Wait, m_wait.Ticks());
    }
    if (k > m_wait.steps) {
        m_running = false;
        m_report.stage = Stage::Finished;
        m_report.succeeded = true;
        return End(OperatorMessage{m_caption, DOWNLOAD_DONE_TEXT, MessageIcon::Information});
    }
    m_sleep(m_wait.tick);
    if (!m_running) {
        return StepResult::Idle; // the unit went away while this tick slept (a nested loop ran)
    }
    m_report.waitStepsDone = static_cast<std::uint32_t>(k + 1);
    m_next = {Stage::Commit, k + 1};
    m_events.OnLogicEvent(WaitTick{static_cast<std::uint32_t>(k + 1), m_wait.Ticks()});
    return StepResult::Shown;
}

void DownloadCore::OnUnitRemoved() {
    // The removal has just reset the rows and emptied the bar: the status line goes with them at
    // once, before the failure is told, and also under the message box of a run that failed first.
    if (m_stageShown) {
        m_stageShown = false;
        m_events.OnLogicEvent(StatusCleared{});
    }
    if (!m_running) {
        return;
    }
    m_running = false;
    m_report.failure = PendingStep(Cause::UnitRemoved);
    End(OperatorMessage{m_caption, DOWNLOAD_FAILED_TEXT, MessageIcon::Stop});
}

void DownloadCore::Cancel() {
    if (!m_running) {
        return;
    }
    m_running = false;
    m_report.failure = PendingStep(Cause::Interrupted);
    End(std::nullopt);
}

long long DownloadCore::LastFlashIndex() const {
    return static_cast<long long>(m_image->FlashBlockCount()) - 1;
}

void DownloadCore::BeginStage(Stage stage, std::uint32_t steps) {
    if (stage != Stage::Commit) {
        m_stageShown = true; // every stage but the commit names itself on the status line
    }
    m_events.OnLogicEvent(StageBegan{stage, steps});
}

StepResult DownloadCore::Fail(Stage stage, std::int32_t block, Exchange exchange) {
    // The run is over before the message box opens, so that nothing handled inside the box's
    // loop (an unplug, a stale step) can touch it again.
    m_running = false;
    m_report.failure = Failure{stage, block, DownloadCauseOf(exchange)};
    return End(OperatorMessage{m_caption, DOWNLOAD_FAILED_TEXT, MessageIcon::Stop});
}

StepResult DownloadCore::End(std::optional<OperatorMessage> closing) {
    // The status line is emptied once the message box closed (observers show it in the event).
    m_events.OnLogicEvent(RunEnded{m_report, std::move(closing)});
    m_stageShown = false;
    return StepResult::Ended;
}

Failure DownloadCore::PendingStep(Cause cause) const {
    // The queued step names it: a step that ends a stage stands for the first step of the next.
    const std::size_t index = m_next.index;
    const long long lastFlash = m_image != nullptr ? LastFlashIndex() : -1;
    switch (m_next.stage) {
    case Stage::Prepare:
        return {Stage::Prepare, 0, cause};
    case Stage::CpuBlocks:
        if (index < CPU_BLOCK_COUNT) {
            return {Stage::CpuBlocks, static_cast<std::int32_t>(index + 1), cause};
        }
        if (lastFlash >= 0) {
            return {Stage::FlashBlocks, 1, cause};
        }
        break;
    case Stage::FlashBlocks:
        if (static_cast<long long>(index) <= lastFlash) {
            return {Stage::FlashBlocks, static_cast<std::int32_t>(index + 1), cause};
        }
        break;
    default:
        if (index > 0 || m_report.commitSent) {
            return {Stage::Wait, 0, cause};
        }
        break;
    }
    return {Stage::Commit, 0, cause};
}

} // namespace knot::logic
