// The download of one unit without a window: its link, its protocol, its identity query and the
// state of its run, stepped by whoever drives it. Advance() takes one step (the prepare, one
// block, the commit, one tick of the wait after it); Cancel() ends a run between two steps. Every
// step is told to the core's observer as events, the end of a run with its report.
#pragma once

#include "commit_wait.h"
#include "device_info_panel.h"
#include "download_report.h"
#include "failure.h"
#include "logic_events.h"
#include "logic_services.h"
#include "packet_protocol.h"
#include "unit_link.h"
#include "variant_profile.h"

#include <cstddef>
#include <optional>
#include <string>

namespace knot::core {
class FirmwareImage;
} // namespace knot::core

namespace knot::device {
class TransferLog;
} // namespace knot::device

namespace knot::logic {
using namespace knot::core;
using namespace knot::device;

// The step a run takes next: its stage (Prepare, CpuBlocks, FlashBlocks or Commit) and its index
// there. CPU step CPU_BLOCK_COUNT and the flash step after the last block only pass on to the next
// stage; commit step 0 sends the commit and waits the first tick, step k the tick k, and the step
// after the last tick ends the run.
struct NextStep {
    Stage stage = Stage::Prepare;
    std::size_t index = 0;

    bool operator==(const NextStep&) const = default;
};

// What one Advance() did.
enum class StepResult {
    Shown,  // a block was sent or skipped, or a tick passed: a window repaints
    Passed, // the run passed on to its next stage, and nothing was sent
    Ended,  // the run ended with this step (its RunEnded was told)
    Idle,   // there was no run, or it ended while this step waited
};

class DownloadCore {
  public:
    // `profile`, `port`, `log` and `events` must outlive the core.
    DownloadCore(const VariantProfile& profile, DriverPort& port, TransferLog& log,
                 LogicObserver& events, SleepFunction sleep, BeepFunction beep);
    DownloadCore(const DownloadCore&) = delete;
    DownloadCore& operator=(const DownloadCore&) = delete;

    UnitLink& Link() { return m_link; }
    const UnitLink& Link() const { return m_link; }

    // The identity rows of the unit: their reset and their query.
    DeviceInfoPanel& DeviceInfo() { return m_deviceInfo; }
    const IdentityValues& Identity() const { return m_deviceInfo.Values(); }

    // Data > Initialize's exchange: the initialize command and its acknowledgment.
    Exchange InitializeSettingData();

    // Begins a run of `image` (which must outlive it) with `wait` after the commit; its first
    // step is the prepare. False while a run is under way.
    bool Begin(const FirmwareImage& image, const CommitWait& wait);
    StepResult Advance();
    // Ends a running run where it stands, without a closing message: it was interrupted.
    void Cancel();
    // The unit went away: a stage named on the status line is cleared, and a running run fails
    // at the step it waits for.
    void OnUnitRemoved();

    bool IsRunning() const { return m_running; }
    const NextStep& Next() const { return m_next; }
    const DownloadReport& Report() const { return m_report; }
    const CommitWait& Wait() const { return m_wait; }
    // The stage and block of the step the run waits for (the one a stop would leave undone),
    // with `cause`.
    Failure PendingStep(Cause cause) const;

  private:
    StepResult Prepare();
    StepResult CpuStep(std::size_t i);
    StepResult FlashStep(std::size_t j);
    StepResult CommitStep(std::size_t k);
    // The index of the last flash block (E/32), or -1 when the flash stage is skipped.
    long long LastFlashIndex() const;
    void BeginStage(Stage stage, std::uint32_t steps = 0);
    StepResult Fail(Stage stage, std::int32_t block, Exchange exchange);
    StepResult End(std::optional<OperatorMessage> closing);

    const VariantProfile& m_profile;
    LogicObserver& m_events;
    SleepFunction m_sleep;
    std::string m_caption;
    UnitLink m_link;
    PacketProtocol m_protocol;
    DeviceInfoPanel m_deviceInfo;

    const FirmwareImage* m_image = nullptr;
    CommitWait m_wait;
    bool m_running = false;
    bool m_stageShown = false; // the status line names a stage of the run
    NextStep m_next;
    DownloadReport m_report;
};

// The cause a download names for an exchange that failed: a stream of answers that do not count
// is the unit not answering.
Cause DownloadCauseOf(Exchange exchange);

} // namespace knot::logic
