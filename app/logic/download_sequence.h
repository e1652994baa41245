// The download of a loaded image into the open unit: prepare, CPU blocks, flash blocks, commit
// and the timed wait, one block or tick per posted step message, with its status texts, progress
// and failure handling. A run ends when its unit goes away; a second run never interleaves.
#pragma once

#include "commit_wait.h"
#include "download_report.h"
#include "exchange_observer.h"
#include "logic_events.h"
#include "logic_services.h"
#include "packet_protocol.h"
#include "variant_profile.h"
#include "window_host.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace knot::core {
class FirmwareImage;
} // namespace knot::core

namespace knot::logic {
using namespace knot::core;
using namespace knot::device;

class DeviceInfoPanel;

// Told when a run begins and ends, so that the commands refused during a run can be given back.
class DownloadRunListener {
  public:
    virtual ~DownloadRunListener() = default;
    virtual void OnDownloadStarted() = 0;
    // After the closing message box (or at once for a cancelled run).
    virtual void OnDownloadEnded(bool succeeded) = 0;
};

class DownloadSequence {
  public:
    // All references must outlive the sequence. `link` is the observed link under `protocol`.
    DownloadSequence(const VariantProfile& profile, WindowHost& host, LogicObserver& events,
                     const FirmwareImage& image, PacketProtocol& protocol,
                     const ObservedPacketLink& link, DeviceInfoPanel& deviceInfo,
                     SleepFunction sleep, DownloadRunListener& listener);

    // Replaces the wait after the commit: `steps` + 1 ticks of `tick` (the profile's
    // commitWaitSteps and 10 ms unless changed).
    void SetCommitWait(std::uint32_t steps, std::chrono::milliseconds tick);
    std::uint32_t CommitWaitSteps() const { return m_wait.steps; }
    const CommitWait& Wait() const { return m_wait; }

    // The Start button. Refused while a run is under way.
    void OnStartDownload();
    // Sends the prepare command; true when the unit acknowledged it.
    bool PrepareDownload();
    // The three step handlers: 0 after a failure (or a step that belongs to no run), else 1.
    int OnCpuBlockStep(std::uintptr_t wParam, std::intptr_t lParam);
    int OnFlashBlockStep(std::uintptr_t wParam, std::intptr_t lParam);
    int OnCommitStep(std::uintptr_t wParam, std::intptr_t lParam);

    // The unit was unplugged: the status line is emptied, and a running run fails at once.
    void OnUnitRemoved();
    // Ends a running run without a message box; no further packet is sent for it.
    void Cancel();

    bool IsRunning() const { return m_running; }
    const DownloadReport& Report() const { return m_report; }
    // The index of the last flash block sent (E/32), or -1 when the flash phase is skipped.
    int LastFlashIndex() const;
    // The stage and block of the step a running run waits for (the one a stop would leave
    // undone), with `cause`.
    DownloadFailure PendingStep(DownloadFailureCause cause) const;

  private:
    bool Expect(WindowMessage message, std::uintptr_t index);
    void Post(WindowMessage message, std::uintptr_t index);
    void BeginStage(DownloadStage stage, std::uint32_t steps = 0);
    // Tells the end of the run, with its closing message (none: cancelled).
    void End(std::optional<OperatorMessage> closing);
    void Fail(DownloadStage stage, std::int32_t blockNumber, DownloadFailureCause cause);
    DownloadFailureCause CauseOfLastExchange() const;

    const VariantProfile& m_profile;
    WindowHost& m_host;
    LogicObserver& m_events;
    const FirmwareImage& m_image;
    PacketProtocol& m_protocol;
    const ObservedPacketLink& m_link;
    DeviceInfoPanel& m_deviceInfo;
    SleepFunction m_sleep;
    DownloadRunListener& m_listener;
    std::string m_caption;

    CommitWait m_wait;

    bool m_running = false;
    bool m_stageShown = false; // the status line names a stage of the run
    // The one step message the run waits for; any other step is stale and ignored.
    WindowMessage m_expectedMessage = WM_CPU_BLOCK_STEP;
    std::uintptr_t m_expectedIndex = 0;
    DownloadReport m_report;
};

} // namespace knot::logic
