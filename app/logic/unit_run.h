// One unit's run without a window, for knot-fdt's commands and a station's lanes: the unit's
// lock, its opening and identity query, a watch on its unplugging, and its download or its
// initialize command, with the download core driven in a plain loop on the calling thread.
#pragma once

#include "commit_wait.h"
#include "disconnect_watch.h"
#include "download_core.h"
#include "failure.h"
#include "logic_events.h"
#include "logic_services.h"
#include "unit_lock.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace knot::logic {
using namespace knot::device;

struct UnitRunSettings {
    // The unit to talk to; "" for the first that qualifies, as the window takes it.
    std::string devicePath;
    // Take the unit's lock before a packet is sent, and hold it until the run ends.
    bool forWriting = false;
    // A stop after the commit lets the wait run out: the unit writes its flash meanwhile.
    bool finishCommittedWait = false;
    // Asked before each step whether to stop (knot-fdt's Ctrl-C); empty: never.
    std::function<bool()> stopRequested;
    SleepFunction sleep; // the wait's ticks; empty: the real clock
    BeepFunction beep;   // a failed exchange; empty: the platform's simple beep
    std::chrono::milliseconds presenceInterval = SessionTiming{}.presenceInterval;
};

class UnitRun {
  public:
    // `machinePort` (every interface of the machine), `log` and `events` must outlive the run;
    // `events` hears the core's events on the calling thread.
    UnitRun(const VariantProfile& profile, DriverPort& machinePort, TransferLog& log,
            LogicObserver& events, UnitRunSettings settings);
    // Stops the watch, closes the unit and lets go of its lock.
    ~UnitRun();
    UnitRun(const UnitRun&) = delete;
    UnitRun& operator=(const UnitRun&) = delete;

    // Takes the lock (when writing), opens the unit, starts watching it and reads its identity.
    // Nothing when the unit is ready, else where (Lock or Identity) and why it is not.
    std::optional<Failure> Open();
    // Downloads `image` (after a successful Open) until the run ends or a stop ends it.
    const DownloadReport& Download(const FirmwareImage& image, const CommitWait& wait);
    // Data > Initialize's exchange (after a successful Open).
    Exchange Initialize();

    // Whether a stop ended the download before it ended by itself.
    bool Stopped() const { return m_stopped; }
    // Whether any interface was present when the unit was looked for.
    bool AnyInterface() const { return m_anyInterface; }
    // Why the unit's lock could not be taken, when it could not.
    const std::string& LockProblem() const { return m_lock.Problem(); }
    // The unit that was opened ("" and -1 before), kept after it was closed.
    const std::string& OpenedPath() const { return m_core.Link().DevicePath(); }
    std::int32_t OpenedNumber() const { return m_core.Link().Link().deviceNumber; }
    // The identity rows as the unit's query left them, before a commit reset them.
    const IdentityValues& AnsweredRows() const { return m_answeredRows; }
    const DownloadCore& Core() const { return m_core; }

  private:
    bool StopRequested() const { return m_settings.stopRequested && m_settings.stopRequested(); }
    std::optional<Failure> TakeLock(const std::string& path);

    UnitRunSettings m_settings;
    std::unique_ptr<DriverPort> m_port; // the machine's, narrowed to the chosen unit
    DownloadCore m_core;
    UnitWriteLock m_lock;
    std::optional<DisconnectWatch> m_watch;
    IdentityValues m_answeredRows;
    bool m_anyInterface = false;
    bool m_stopped = false;
};

} // namespace knot::logic
