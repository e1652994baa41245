// Everything the main window does that is not widget work: it owns the image, the unit's
// download core and the session, applies the Start / Open / Initialize rules, and paces the
// download with the window's posted step messages. The window forwards its commands and posted
// messages here and shows the events it is told.
#pragma once

#include "command_rules.h"
#include "commit_wait.h"
#include "download_core.h"
#include "firmware_image.h"
#include "flash_transfer_view.h"
#include "logic_events.h"
#include "logic_services.h"
#include "unit_lock.h"
#include "unit_session.h"
#include "window_event_renderer.h"

#include <cstdint>
#include <memory>
#include <string>

namespace knot::core {
struct VariantProfile;
} // namespace knot::core

namespace knot::device {
class DriverPort;
class TransferLog;
} // namespace knot::device

namespace knot::logic {
using namespace knot::core;
using namespace knot::device;

class FlashTransferController : private LogicObserver {
  public:
    // A window's logic: its events are shown in `view`, which also hosts it. `profile`, `view`,
    // `port` and `log` must outlive the controller.
    FlashTransferController(const VariantProfile& profile, FlashTransferView& view,
                            DriverPort& port, TransferLog& log, LogicServices services = {});
    // Stops the workers if the window did not (every close path should call OnClose first).
    ~FlashTransferController() override;
    FlashTransferController(const FlashTransferController&) = delete;
    FlashTransferController& operator=(const FlashTransferController&) = delete;

    // The "/FILE" switch: every successful load also writes the two dump files.
    void SetDumpImages(bool dump) { m_bDumpImages = dump; }
    // Replaces the wait after the commit (the profile's commitWaitSteps and 10 ms ticks).
    void SetCommitWait(const CommitWait& wait) { m_wait = wait; }

    // The logic part of the window's initialisation, after its controls exist and Start has been
    // disabled: ResetDeviceInfo, Initialize item off, ResetSessionHandles, BeginArrivalDetection.
    void InitializeLogic();
    // The close action's first step: ends a running download where it stands (no further packet,
    // no commit), then StopWorkers. Call it on every way of ending the window.
    void OnClose();
    // Whether OnClose has been called: the window is closing or closed.
    bool IsClosed() const { return m_bClosed; }

    // Observers hear every event from then on, after the window's own; each must outlive the
    // controller or be removed first.
    void AddObserver(LogicObserver& observer) { m_events.Add(observer); }
    void RemoveObserver(LogicObserver& observer) { m_events.Remove(observer); }

    // One posted message, on the window's thread, to its handler below.
    void OnWindowMessage(WindowMessage message, std::uintptr_t wParam);
    // The handlers. A step that belongs to no run, or not to the step the run waits for, is
    // stale and ignored (0).
    int OnDeviceArrived(std::uintptr_t wParam, std::intptr_t lParam);
    int OnDeviceRemoved(std::uintptr_t wParam, std::intptr_t lParam);
    int OnCpuBlockStep(std::uintptr_t wParam, std::intptr_t lParam);
    int OnFlashBlockStep(std::uintptr_t wParam, std::intptr_t lParam);
    int OnCommitStep(std::uintptr_t wParam, std::intptr_t lParam);

    // Commands. Each is refused (does nothing) while a download runs.
    void OnStartDownload();
    // File > Open after the chooser returned a path: load, message box, Start rule.
    void OnFileChosen(const std::string& path);
    // Data > Initialize: the initialize command, its acknowledgment and the closing message.
    // Returns whether the unit acknowledged it (false also when refused as a command).
    bool OnDataInitialize();

    // Whether each command may be given now; the window also shows them disabled meanwhile.
    bool CanOpenFile() const { return MayOpenFile(Facts()); }
    bool CanInitialize() const { return MayInitialize(Facts()); }
    bool IsDownloadRunning() const { return m_core.IsRunning(); }
    // A unit answered its identity query and is still attached (m_bDeviceReady).
    bool DeviceReady() const { return m_bDeviceReady; }

    const VariantProfile& Profile() const { return m_profile; }
    const std::string& Caption() const { return m_caption; }
    FirmwareImage& Image() { return *m_image; }
    // The unit's download core and the session, as they stand.
    const DownloadCore& Core() const { return m_core; }
    const UnitSession& Session() const { return m_session; }

  private:
    // What the command rules look at now.
    CommandFacts Facts() const;
    void Tell(const LogicEvent& event) { m_events.OnLogicEvent(event); }
    void Show(const char* text, MessageIcon icon);
    // One step of the run, when it is the step the run waits for; then the next is posted.
    int Step(Stage stage, std::uintptr_t index);

    enum class CommandLock { Reserved, Taken, Refused };
    // Takes the unit's lock for one command unless it is reserved already. When another program
    // holds it, the command's `failedText` is shown and nothing is sent (Refused).
    CommandLock LockForCommand(const char* failedText);

    // The core's events, passed on to the window with the command rules they bring.
    void OnLogicEvent(const LogicEvent& event) override;

    const VariantProfile& m_profile;
    FlashTransferView& m_view;
    ObserverList m_events;
    WindowEventRenderer m_renderer;
    LogicServices m_services;
    std::string m_caption;
    std::unique_ptr<FirmwareImage> m_image; // 768 KB: on the heap
    DownloadCore m_core;
    UnitWriteLock m_unitLock;
    CommitWait m_wait;
    bool m_bRunLocked = false; // the running download took the lock, and lets go at its end
    bool m_bDumpImages = false;
    bool m_bClosed = false;
    bool m_bDeviceReady = false;
    UnitSession m_session; // last: its workers stop before anything they use goes
};

} // namespace knot::logic
