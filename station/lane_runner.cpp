#include "lane_runner.h"

#include "run_setup.h"

#include <algorithm>
#include <cstdio>

namespace knot::station {
LaneRunner::~LaneRunner() {
    for (RunningLane& entry : m_lanes) {
        if (entry.thread.joinable()) {
            entry.thread.join();
        }
    }
}

void LaneRunner::Start(LaneSettings settings, std::int32_t number) {
    std::lock_guard lock(m_mutex);
    RunningLane& entry = m_lanes.emplace_back();
    entry.path = settings.devicePath;
    entry.number = number;
    entry.slot = settings.slot;
    entry.lane = std::make_unique<Lane>(std::move(settings));
    entry.start = std::chrono::steady_clock::now();
    ++m_tally.running;
    m_setup.LaneStarted();
    entry.thread = std::thread([this, &entry] { RunLane(entry); });
}

void LaneRunner::RunLane(RunningLane& entry) {
    entry.code = entry.lane->Run();
    entry.recorded = Append(*entry.lane);
    m_setup.LaneEnded(
        *entry.lane,
        std::chrono::duration<double>(std::chrono::steady_clock::now() - entry.start).count());
    std::lock_guard lock(m_mutex);
    m_ended.push_back(&entry);
    m_endedChanged.notify_all();
}

void LaneRunner::Reap(const std::function<void(const RunningLane&)>& ended) {
    std::vector<RunningLane*> over;
    {
        std::lock_guard lock(m_mutex);
        over.swap(m_ended);
    }
    for (RunningLane* entry : over) {
        entry->thread.join();
        {
            std::lock_guard lock(m_mutex);
            entry->reaped = true;
            --m_tally.running;
            Count(m_tally, entry->code);
            m_recordLost = m_recordLost || !entry->recorded;
        }
        ended(*entry);
    }
}

void LaneRunner::Count(LaneTally& tally, ExitCode code) {
    if (code == ExitCode::Success) {
        ++tally.written;
    } else if (code == ExitCode::Interrupted) {
        ++tally.interrupted;
    } else {
        ++tally.failed;
    }
}

void LaneRunner::DropReaped() {
    std::lock_guard lock(m_mutex);
    m_lanes.remove_if([](const RunningLane& entry) { return entry.reaped; });
}

LaneTally LaneRunner::AppendUnfinished() {
    m_setup.SealReport(); // first: a lane's append under way ends before this goes on
    std::lock_guard lock(m_mutex);
    LaneTally tally = m_tally;
    for (RunningLane& entry : m_lanes) {
        if (entry.reaped) {
            continue;
        }
        const LaneStatus& status = entry.lane->Status();
        const bool ended = status.ended;
        Append(*entry.lane);
        --tally.running;
        Count(tally, ended ? static_cast<ExitCode>(status.code.load()) : ExitCode::Interrupted);
    }
    return tally;
}

void LaneRunner::WaitForAnEnd(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    m_endedChanged.wait_for(lock, timeout, [this] { return !m_ended.empty(); });
}

bool LaneRunner::HasLaneFor(const std::string& path) const {
    return std::any_of(m_lanes.begin(), m_lanes.end(), [&](const RunningLane& entry) {
        return !entry.reaped && entry.path == path;
    });
}

ExitCode LaneRunner::ExitStatus(ExitCode notWritten) const {
    if (m_tally.interrupted > 0) {
        return ExitCode::Interrupted;
    }
    if (m_tally.failed > 0) {
        return notWritten;
    }
    return m_recordLost ? ExitCode::FileError : ExitCode::Success;
}

bool LaneRunner::Append(Lane& lane) {
    std::string why;
    if (m_setup.AppendReport(lane, why)) {
        return true;
    }
    if (m_sayProblem) {
        m_sayProblem("the record could not be appended to " + m_setup.Options().reportPath + ": " +
                     why);
    }
    return false;
}

namespace {

// "unit 3 [slot]  SIMUNIT 1.00 0000": the unit, where it sits and the identity it answered with.
std::string UnitText(std::int32_t number, const nlohmann::ordered_json& record) {
    const nlohmann::ordered_json& slot = record.contains("slot") ? record["slot"] : nullptr;
    std::string text = UnitName(number, slot.is_string() ? slot.get<std::string>() : "");
    if (record.contains("identity") && record["identity"].is_object()) {
        text += ' ';
        for (const auto& [row, value] : record["identity"].items()) {
            text += ' ';
            text += value.is_string() ? value.get<std::string>() : std::string("-");
        }
    }
    return text;
}

} // namespace

std::string UnitName(std::int32_t number, const std::string& slot) {
    return "unit " + std::to_string(number) + (slot.empty() ? "" : " [" + slot + "]");
}

std::string TallyText(const LaneTally& tally) {
    char line[128];
    std::snprintf(line, sizeof line, "%d passed, %d failed, %d interrupted, %d in progress",
                  tally.written, tally.failed, tally.interrupted, tally.running);
    return line;
}

std::string EndedLaneText(const RunningLane& entry) {
    const nlohmann::ordered_json& record = entry.lane->Record();
    const std::string time = record.value("time", std::string());
    if (entry.lane->Status().code == static_cast<int>(ExitCode::UnitBusy)) {
        return time + "  " + entry.lane->ResultLine(); // the line names the unit already
    }
    char seconds[32];
    std::snprintf(
        seconds, sizeof seconds, " (%.1f s)",
        std::chrono::duration<double>(std::chrono::steady_clock::now() - entry.start).count());
    return time + "  " + UnitText(entry.number, record) + "  " + entry.lane->ResultLine() + seconds;
}

} // namespace knot::station
