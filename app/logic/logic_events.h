// What the operator-facing logic tells its observers: the download's stages, blocks and wait
// ticks, the end of a run with its report and closing message, the identity rows, a unit's arrival
// and removal, the message boxes and what Start, Open and Initialize may do now. A window turns
// these into widgets (window_event_renderer.h), knot-fdt into lines and records, tests into a
// recording. Events are told on the window's thread only, in the order they happen.
#pragma once

#include "download_report.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace knot::logic {
// The icon of a message box: successes use Information, failures Stop.
enum class MessageIcon { Information, Stop };

// Rows of the identity list ("Program Name", "Version", "Check SUM").
inline constexpr int IDENTITY_ROW_COUNT = 3;
using IdentityValues = std::array<std::string, IDENTITY_ROW_COUNT>;

// A message box with one OK button; the window's observer returns once the operator closed it.
struct OperatorMessage {
    std::string caption;
    std::string text;
    MessageIcon icon = MessageIcon::Information;
};

// A stage of the download begins (Prepare, CpuBlocks, FlashBlocks, Commit or Wait). `steps`: the
// steps the stage has (CPU blocks, flash blocks, wait ticks), 0 for the two commands.
struct StageBegan {
    Stage stage = Stage::Idle;
    std::uint32_t steps = 0;
};

// The prepare was acknowledged: the run goes through `cpuBlocks` CPU block steps, then sends
// `flashBlocks` flash blocks.
struct BlocksPlanned {
    std::uint32_t cpuBlocks = 0;
    std::uint32_t flashBlocks = 0;
};

// Block `number` of `count` of a region's stage was acknowledged (`sent`), or skipped as blank.
struct BlockStep {
    Stage stage = Stage::CpuBlocks;
    std::uint32_t number = 0; // from 1
    std::uint32_t count = 0;
    bool sent = true;
};

// Tick `done` of the `count` ticks of the wait after the commit has passed.
struct WaitTick {
    std::uint32_t done = 0;
    std::uint32_t count = 0;
};

// The commit went to the unit, which now writes its flash on its own and must stay plugged in
// until the wait has passed.
struct CommitSent {};

// The run ended: its report (succeeded, or where and why it failed) and the closing message
// (none for a cancelled run). Told when the message box opens, before the commands come back.
struct RunEnded {
    DownloadReport report;
    std::optional<OperatorMessage> closing;
};

// The status line no longer names a stage: the run ended, or its unit went away.
struct StatusCleared {};

// The identity rows went back to their placeholders and the bar to empty (a unit went away, or
// the unit starts writing its flash).
struct IdentityReset {};

// The identity query ended: `answered[row]` tells which rows got an accepted answer (their value
// is in `rows`; the others keep what they showed before).
struct IdentityRead {
    IdentityValues rows;
    std::array<bool, IDENTITY_ROW_COUNT> answered{};
};

// A unit was opened: its device path and number.
struct UnitArrived {
    std::string devicePath;
    std::int32_t deviceNumber = 0;
};

// The open unit was unplugged; the session is torn down and detection has begun again.
struct UnitRemoved {};

// What each command may do now; a command left empty keeps its state.
struct CommandStates {
    std::optional<bool> start;
    std::optional<bool> open;
    std::optional<bool> initialize;
};

using LogicEvent = std::variant<StageBegan, BlocksPlanned, BlockStep, WaitTick, CommitSent,
                                RunEnded, StatusCleared, IdentityReset, IdentityRead, UnitArrived,
                                UnitRemoved, CommandStates, OperatorMessage>;

// Visits an event with one handler per kind: std::visit(Overloaded{[](const StageBegan&) {...},
// ...}, event).
template <class... Handlers> struct Overloaded : Handlers... { using Handlers::operator()...; };
// Spelled out for compilers that do not deduce an aggregate's arguments yet.
template <class... Handlers> Overloaded(Handlers...) -> Overloaded<Handlers...>;

class LogicObserver {
  public:
    virtual ~LogicObserver() = default;
    // On the window's thread. An observer may run a nested message loop (a modal message box),
    // so the logic may be re-entered from inside.
    virtual void OnLogicEvent(const LogicEvent& event) = 0;
};

// An observer for a run whose events nobody needs.
class IgnoredEvents : public LogicObserver {
  public:
    void OnLogicEvent(const LogicEvent&) override {}
};

// The observers of one controller, told in the order they were added. One added while an event
// is told (inside a message box) hears it too; remove none but the one being told meanwhile.
class ObserverList : public LogicObserver {
  public:
    void Add(LogicObserver& observer) { m_observers.push_back(&observer); }
    void Remove(LogicObserver& observer) { std::erase(m_observers, &observer); }
    void OnLogicEvent(const LogicEvent& event) override {
        for (std::size_t i = 0; i < m_observers.size(); ++i) {
            LogicObserver* observer = m_observers[i];
            observer->OnLogicEvent(event);
        }
    }

  private:
    std::vector<LogicObserver*> m_observers;
};

} // namespace knot::logic
