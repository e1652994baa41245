// The station's rounds.
#include "station.h"

#include "interface_survey.h"
#include "logic_services.h"
#include "run_setup.h"

namespace knot::station {
using namespace knot::device;
using namespace knot::logic;

Station::Station(RunSetup& setup, LaneSettings base, StationListener& listener,
                 std::function<void(const std::string&)> sayProblem)
    : m_base(std::move(base)), m_listener(listener), m_port(m_base.ports()),
      m_runner(setup, std::move(sayProblem)) {
    m_base.finishCommittedWait = true;
    m_base.stopRequested = [this, asked = std::move(m_base.stopRequested)] {
        return m_stopping || (asked && asked());
    };
    m_rules.retryInterval = SessionTiming{}.retryInterval;
    m_rules.look = [this](std::uint32_t index, const std::string& path) -> std::optional<UnitLook> {
        const UnitInterface unit = SurveyUnit(*m_port, index);
        if (unit.path != path) {
            return std::nullopt; // the interfaces changed since they were listed: next round
        }
        return UnitLook{unit.qualifies, unit.deviceNumber, SlotOf(unit)};
    };
    m_rules.busy = [this](const std::string& path) { return m_runner.HasLaneFor(path); };
}

Station::~Station() = default;

std::chrono::milliseconds Station::PollInterval() const {
    return SessionTiming{}.pollInterval;
}

bool Station::Poll() {
    m_runner.Reap(
        [this](const RunningLane& entry) { m_listener.OnLaneEnded(entry, m_runner.Tally()); });
    m_runner.DropReaped();
    if (m_stopping && m_runner.Lanes().empty()) {
        return false;
    }
    if (!m_stopping) {
        StartLanes();
    }
    m_listener.OnPolled(m_runner.Lanes(), m_runner.Tally());
    return true;
}

void Station::StartLanes() {
    m_rules.now = std::chrono::steady_clock::now();
    // Opens no interface but new ones: units being written are not disturbed.
    PresenceStep step = TrackPresence(std::move(m_present), PresentPaths(*m_port), m_rules);
    m_present = std::move(step.present);
    for (std::size_t i = 0; i < step.unplugged.size(); ++i) {
        m_listener.OnUnplugged(step.unplugged[i], step.unpluggedSlots[i]);
    }
    for (const UnitToStart& unit : step.start) {
        LaneSettings each = m_base;
        each.devicePath = unit.path;
        each.deviceNumber = unit.number;
        each.slot = unit.slot;
        m_runner.Start(std::move(each), unit.number);
        m_listener.OnLaneStarted(m_runner.Lanes().back());
    }
}

} // namespace knot::station
