// The download sequence, one step message at a time.
#include "download_sequence.h"

#include "command_rules.h"
#include "command_texts.h"
#include "device_info_panel.h"
#include "firmware_image.h"
#include "operator_texts.h"
#include "string_table.h"

namespace knot::logic {
using namespace knot::core;
using namespace knot::device;

DownloadSequence::DownloadSequence(const VariantProfile& profile, WindowHost& host,
                                   LogicObserver& events, const FirmwareImage& image,
                                   PacketProtocol& protocol, const ObservedPacketLink& link,
                                   DeviceInfoPanel& deviceInfo, SleepFunction sleep,
                                   DownloadRunListener& listener)
    : m_profile(profile), m_host(host), m_events(events), m_image(image), m_protocol(protocol),
      m_link(link), m_deviceInfo(deviceInfo), m_sleep(std::move(sleep)), m_listener(listener),
      m_caption(ProgramTitle(profile)), m_wait{profile.commitWaitSteps, COMMIT_WAIT_TICK} {}

void DownloadSequence::SetCommitWait(std::uint32_t steps, std::chrono::milliseconds tick) {
    m_wait = {steps, tick};
}

int DownloadSequence::LastFlashIndex() const {
    return static_cast<int>(m_image.FlashBlockCount()) - 1;
}

void DownloadSequence::OnStartDownload() {
    if (m_running) {
        return; // one run at a time
    }
    m_running = true;
    m_report = DownloadReport{};
    m_report.stage = DownloadStage::Prepare;
    m_listener.OnDownloadStarted();

    BeginStage(DownloadStage::Prepare);
    if (!PrepareDownload()) {
        Fail(DownloadStage::Prepare, 0, CauseOfLastExchange());
        return;
    }
    m_events.OnLogicEvent(BlocksPlanned{static_cast<std::uint32_t>(CPU_BLOCK_COUNT),
                                        static_cast<std::uint32_t>(m_image.FlashBlockCount())});
    Post(WM_CPU_BLOCK_STEP, 0);
}

bool DownloadSequence::PrepareDownload() {
    CommandCode code = m_protocol.SendCommandText(PrepareCommandText(m_profile));
    if (code == 0) {
        return false;
    }
    return m_protocol.WaitForAck(code);
}

int DownloadSequence::OnCpuBlockStep(std::uintptr_t wParam, std::intptr_t) {
    if (!Expect(WM_CPU_BLOCK_STEP, wParam)) {
        return 0;
    }
    std::size_t i = wParam;
    if (i == 0) {
        m_report.stage = DownloadStage::CpuBlocks;
        BeginStage(DownloadStage::CpuBlocks, static_cast<std::uint32_t>(CPU_BLOCK_COUNT));
    } else if (i >= CPU_BLOCK_COUNT) {
        if (LastFlashIndex() >= 0) {
            Post(WM_FLASH_BLOCK_STEP, 0);
        } else {
            Post(WM_COMMIT_STEP, 0);
        }
        return 1;
    }
    const bool blank = m_image.IsCpuBlockBlank(i);
    if (blank) {
        ++m_report.cpuBlocksSkipped;
    } else {
        auto blockNumber = static_cast<std::int32_t>(i + 1);
        if (!m_protocol.SendDataBlock(m_image.CpuBlock(i).data(), blockNumber,
                                      m_profile.cpuBlockType)) {
            Fail(DownloadStage::CpuBlocks, blockNumber, CauseOfLastExchange());
            return 0;
        }
        ++m_report.cpuBlocksSent;
    }
    Post(WM_CPU_BLOCK_STEP, i + 1);
    m_events.OnLogicEvent(BlockStep{DownloadStage::CpuBlocks, static_cast<std::uint32_t>(i + 1),
                                    static_cast<std::uint32_t>(CPU_BLOCK_COUNT), !blank});
    m_host.RefreshWindow();
    return 1;
}

int DownloadSequence::OnFlashBlockStep(std::uintptr_t wParam, std::intptr_t) {
    if (!Expect(WM_FLASH_BLOCK_STEP, wParam)) {
        return 0;
    }
    std::size_t j = wParam;
    if (j == 0) {
        m_report.stage = DownloadStage::FlashBlocks;
        BeginStage(DownloadStage::FlashBlocks,
                   static_cast<std::uint32_t>(m_image.FlashBlockCount()));
    }
    if (static_cast<long long>(j) > LastFlashIndex()) {
        Post(WM_COMMIT_STEP, 0);
        return 1;
    }
    auto blockNumber = static_cast<std::int32_t>(j + 1);
    if (!m_protocol.SendDataBlock(m_image.FlashBlock(j).data(), blockNumber,
                                  m_profile.flashBlockType)) {
        Fail(DownloadStage::FlashBlocks, blockNumber, CauseOfLastExchange());
        return 0;
    }
    ++m_report.flashBlocksSent;
    Post(WM_FLASH_BLOCK_STEP, j + 1);
    m_events.OnLogicEvent(BlockStep{DownloadStage::FlashBlocks, static_cast<std::uint32_t>(j + 1),
                                    static_cast<std::uint32_t>(m_image.FlashBlockCount()), true});
    m_host.RefreshWindow();
    return 1;
}

int DownloadSequence::OnCommitStep(std::uintptr_t wParam, std::intptr_t) {
    if (!Expect(WM_COMMIT_STEP, wParam)) {
        return 0;
    }
    std::uintptr_t k = wParam;
    if (k == 0) {
        m_report.stage = DownloadStage::Commit;
        BeginStage(DownloadStage::Commit);
        // The commit's answer is never read: the unit starts writing its flash.
        if (m_protocol.SendCommandText(CommitCommandText(m_profile)) == 0) {
            Fail(DownloadStage::Commit, 0, CauseOfLastExchange());
            return 0;
        }
        m_report.commitSent = true;
        m_report.stage = DownloadStage::Wait;
        m_deviceInfo.ResetDeviceInfo();
        m_events.OnLogicEvent(AtCommit());
        BeginStage(DownloadStage::Wait, m_wait.Ticks());
    }
    if (k > m_wait.steps) {
        m_running = false;
        m_report.stage = DownloadStage::Finished;
        m_report.succeeded = true;
        End(OperatorMessage{m_caption, DOWNLOAD_DONE_TEXT, MessageIcon::Information});
        return 1;
    }
    m_sleep(m_wait.tick);
    if (!m_running) {
        return 0; // the unit went away while this tick slept (a nested loop ran the removal)
    }
    m_report.waitStepsDone = static_cast<std::uint32_t>(k + 1);
    Post(WM_COMMIT_STEP, k + 1);
    m_events.OnLogicEvent(WaitTick{static_cast<std::uint32_t>(k + 1), m_wait.Ticks()});
    m_host.RefreshWindow();
    return 1;
}

void DownloadSequence::OnUnitRemoved() {
    // The removal has just reset the rows and emptied the bar: the status line goes with them at
    // once, before the failure is told, and also under the message box of a run that failed first.
    if (m_stageShown) {
        m_stageShown = false;
        m_events.OnLogicEvent(StatusCleared{});
    }
    if (!m_running) {
        return;
    }
    DownloadFailure pending = PendingStep(DownloadFailureCause::UnitRemoved);
    Fail(pending.stage, pending.blockNumber, pending.cause);
}

void DownloadSequence::Cancel() {
    if (!m_running) {
        return;
    }
    m_running = false;
    m_report.failure = PendingStep(DownloadFailureCause::Interrupted);
    End(std::nullopt);
}

void DownloadSequence::BeginStage(DownloadStage stage, std::uint32_t steps) {
    if (stage != DownloadStage::Commit) {
        m_stageShown = true; // every stage but the commit names itself on the status line
    }
    m_events.OnLogicEvent(StageBegan{stage, steps});
}

void DownloadSequence::End(std::optional<OperatorMessage> closing) {
    // The status line is emptied once the message box closed (observers show it in the event).
    m_events.OnLogicEvent(RunEnded{m_report, std::move(closing)});
    m_stageShown = false;
    m_listener.OnDownloadEnded(m_report.succeeded);
}

DownloadFailure DownloadSequence::PendingStep(DownloadFailureCause cause) const {
    // The queued step names it: a step that ends a phase stands for the first step of the next.
    const std::uintptr_t index = m_expectedIndex;
    const long long lastFlash = LastFlashIndex();
    switch (m_expectedMessage) {
    case WM_CPU_BLOCK_STEP:
        if (index < CPU_BLOCK_COUNT) {
            return {DownloadStage::CpuBlocks, static_cast<std::int32_t>(index + 1), cause};
        }
        if (lastFlash >= 0) {
            return {DownloadStage::FlashBlocks, 1, cause};
        }
        break;
    case WM_FLASH_BLOCK_STEP:
        if (static_cast<long long>(index) <= lastFlash) {
            return {DownloadStage::FlashBlocks, static_cast<std::int32_t>(index + 1), cause};
        }
        break;
    case WM_COMMIT_STEP:
        if (index > 0) {
            return {DownloadStage::Wait, 0, cause};
        }
        break;
    default:
        break;
    }
    return {DownloadStage::Commit, 0, cause};
}

bool DownloadSequence::Expect(WindowMessage message, std::uintptr_t index) {
    if (!m_running || message != m_expectedMessage || index != m_expectedIndex) {
        return false; // a step of an ended run, or of no run at all
    }
    return true;
}

void DownloadSequence::Post(WindowMessage message, std::uintptr_t index) {
    m_expectedMessage = message;
    m_expectedIndex = index;
    m_host.PostWindowMessage(message, index);
}

void DownloadSequence::Fail(DownloadStage stage, std::int32_t blockNumber,
                            DownloadFailureCause cause) {
    // The run is over before the message box opens, so that nothing handled inside the box's
    // loop (an unplug, a stale step) can touch it again.
    m_running = false;
    m_report.failure = DownloadFailure{stage, blockNumber, cause};
    End(OperatorMessage{m_caption, DOWNLOAD_FAILED_TEXT, MessageIcon::Stop});
}

DownloadFailureCause DownloadSequence::CauseOfLastExchange() const {
    switch (m_link.LastFault()) {
    case ExchangeFault::LinkFailed:
        return DownloadFailureCause::LinkFailed;
    case ExchangeFault::Refused:
        return DownloadFailureCause::Refused;
    default:
        return DownloadFailureCause::NoAnswer;
    }
}

} // namespace knot::logic
