// Everything the main window does that is not widget work: it owns the image, the unit link, the
// identity rows, the download sequence and the session, and applies the Start / Open / Initialize
// rules. The window (or knot-fdt, or a test) forwards its commands and posted messages here.
#pragma once

#include "command_rules.h"
#include "device_access.h"
#include "device_info_panel.h"
#include "device_link.h"
#include "device_packet_link.h"
#include "download_sequence.h"
#include "exchange_observer.h"
#include "firmware_image.h"
#include "flash_transfer_view.h"
#include "logic_events.h"
#include "logic_services.h"
#include "packet_protocol.h"
#include "path_recording_port.h"
#include "posted_message_queue.h"
#include "unit_lock.h"
#include "unit_session.h"
#include "window_event_renderer.h"
#include "window_host.h"

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

class FlashTransferController : private DownloadRunListener, private SessionListener {
  public:
    // A window's logic: its events are shown in `view`, which also hosts it. `profile`, `view`,
    // `port` and `log` must outlive the controller.
    FlashTransferController(const VariantProfile& profile, FlashTransferView& view,
                            DriverPort& port, TransferLog& log, LogicServices services = {});
    // The logic without a window (knot-fdt, benchmarks): `host` takes the posted messages, and
    // observers added with AddObserver hear what happens.
    FlashTransferController(const VariantProfile& profile, WindowHost& host, DriverPort& port,
                            TransferLog& log, LogicServices services = {});
    // Stops the workers if the window did not (every close path should call OnClose first).
    ~FlashTransferController() override;
    FlashTransferController(const FlashTransferController&) = delete;
    FlashTransferController& operator=(const FlashTransferController&) = delete;

    // The "/FILE" switch: every successful load also writes the two dump files.
    void SetDumpImages(bool dump) { m_bDumpImages = dump; }

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

    // One posted message, on the window's thread.
    void OnWindowMessage(WindowMessage message, std::uintptr_t wParam);
    // The window's loop over the logic's own queue: handles what is queued, in order, until none
    // is left or `limit` were handled; returns how many were.
    int HandleQueued(PostedMessageQueue& queue, int limit = 1 << 30);

    // Commands. Each is refused (does nothing) while a download runs.
    void OnStartDownload();
    // File > Open after the chooser returned a path: load, message box, Start rule.
    void OnFileChosen(const std::string& path);
    // Data > Initialize: the initialize command, its acknowledgment and the closing message.
    // Returns whether the unit acknowledged it (false also when refused as a command).
    bool OnDataInitialize();

    // knot-fdt takes the lock of the unit at `devicePath` before it opens the unit, and holds it
    // until the controller ends; its Start and Initialize run under it. The window does not: its
    // Start takes the lock for the run, its Initialize for the command.
    LockOutcome ReserveUnit(const std::string& devicePath) { return m_unitLock.Take(devicePath); }
    const std::string& LockProblem() const { return m_unitLock.Problem(); }

    // Whether each command may be given now; the window also shows them disabled meanwhile.
    bool CanOpenFile() const { return MayOpenFile(Facts()); }
    bool CanInitialize() const { return MayInitialize(Facts()); }
    bool IsDownloadRunning() const { return m_sequence.IsRunning(); }

    const VariantProfile& Profile() const { return m_profile; }
    const std::string& Caption() const { return m_caption; }
    FirmwareImage& Image() { return *m_image; }
    const LoadResult& LastLoadResult() const { return m_lastLoad; }
    DeviceLink& Link() { return m_link; }
    DeviceAccess& Access() { return m_access; }
    PacketProtocol& Protocol() { return m_protocol; }
    DeviceInfoPanel& DeviceInfo() { return m_deviceInfo; }
    DownloadSequence& Sequence() { return m_sequence; }
    UnitSession& Session() { return m_session; }

  private:
    FlashTransferController(const VariantProfile& profile, WindowHost& host,
                            FlashTransferView* view, DriverPort& port, TransferLog& log,
                            LogicServices services);

    // What the command rules look at now.
    CommandFacts Facts() const;
    void Show(const char* text, MessageIcon icon);

    enum class CommandLock { Reserved, Taken, Refused };
    // Takes the unit's lock for one command unless it is reserved already. When another program
    // holds it, the command's `failedText` is shown and nothing is sent (Refused).
    CommandLock LockForCommand(const char* failedText);

    void OnDownloadStarted() override;
    void OnDownloadEnded(bool succeeded) override;
    void OnUnitReady() override;
    void OnUnitRemoved() override;

    const VariantProfile& m_profile;
    WindowHost& m_host;
    ObserverList m_events;
    std::unique_ptr<WindowEventRenderer> m_renderer; // the window's, when there is one
    LogicServices m_services;
    std::string m_caption;
    PathRecordingPort m_port;
    UnitWriteLock m_unitLock{m_port};
    bool m_bRunLocked = false; // the running download took the lock, and lets go at its end
    DeviceAccess m_access;
    DeviceLink m_link;
    DevicePacketLink m_deviceLink;
    ObservedPacketLink m_observedLink;
    PacketProtocol m_protocol;
    std::unique_ptr<FirmwareImage> m_image; // 768 KB: on the heap
    LoadResult m_lastLoad;
    bool m_bDumpImages = false;
    bool m_bClosed = false;
    DeviceInfoPanel m_deviceInfo;
    DownloadSequence m_sequence;
    UnitSession m_session; // last: its workers stop before anything they use goes
};

// A function that hears a controller's events for as long as it lives.
class ScopedObserver : public LogicObserver {
  public:
    ScopedObserver(FlashTransferController& controller,
                   std::function<void(const LogicEvent&)> function)
        : m_controller(controller), m_function(std::move(function)) {
        m_controller.AddObserver(*this);
    }
    ~ScopedObserver() override { m_controller.RemoveObserver(*this); }
    ScopedObserver(const ScopedObserver&) = delete;
    ScopedObserver& operator=(const ScopedObserver&) = delete;
    void OnLogicEvent(const LogicEvent& event) override { m_function(event); }

  private:
    FlashTransferController& m_controller;
    std::function<void(const LogicEvent&)> m_function;
};

} // namespace knot::logic
