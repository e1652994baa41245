#include "lane_runner.h"

#include "flash_setup.h"

#include <algorithm>

LaneRunner::~LaneRunner() {
    for (RunningLane& entry : m_lanes) {
        if (entry.thread.joinable()) {
            entry.thread.join();
        }
    }
}

void LaneRunner::Start(LaneSettings settings, std::int32_t number) {
    RunningLane& entry = m_lanes.emplace_back();
    entry.path = settings.devicePath;
    entry.number = number;
    entry.lane = std::make_unique<FlashLane>(std::move(settings));
    entry.start = std::chrono::steady_clock::now();
    ++m_tally.running;
    entry.thread = std::thread([this, &entry] { RunLane(entry); });
}

void LaneRunner::RunLane(RunningLane& entry) {
    entry.code = entry.lane->Run();
    entry.recorded = m_setup.AppendReport(*entry.lane);
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
        entry->reaped = true;
        --m_tally.running;
        if (entry->code == ExitCode::Success) {
            ++m_tally.written;
        } else if (entry->code == ExitCode::Interrupted) {
            ++m_tally.interrupted;
        } else {
            ++m_tally.failed;
        }
        m_recordLost = m_recordLost || !entry->recorded;
        ended(*entry);
    }
}

void LaneRunner::DropReaped() {
    m_lanes.remove_if([](const RunningLane& entry) { return entry.reaped; });
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
