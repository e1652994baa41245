// The tiles of the station window.
#include "station_tiles.h"

#include "lane_record.h"
#include "operator_texts.h"

#include <algorithm>
#include <cmath>

namespace knot::station {
namespace {

IdentityValues Placeholders() {
    IdentityValues rows;
    rows.fill(IDENTITY_PLACEHOLDER);
    return rows;
}

IdentityValues PrintableRows(const IdentityValues& rows) {
    IdentityValues shown;
    std::transform(rows.begin(), rows.end(), shown.begin(), PrintableIdentity);
    return shown;
}

int Percent(long done, long total) {
    return total > 0 ? static_cast<int>(std::clamp(done * 100 / total, 0L, 100L)) : 0;
}

// An ended lane's tile: the result until the next unit is plugged into its slot.
void EndedTile(Tile& tile, ExitCode code, const std::string& resultLine) {
    tile.detail = resultLine;
    switch (code) {
    case ExitCode::Success:
        tile.state = TileState::Passed;
        tile.colour = TileColour::Pass;
        tile.headline = "PASS — unplug it";
        tile.detail.clear();
        break;
    case ExitCode::UnitBusy:
        tile.state = TileState::Busy;
        tile.colour = TileColour::Hold;
        tile.headline = "busy — another program writes it";
        break;
    case ExitCode::Interrupted:
        tile.state = TileState::Stopped;
        tile.colour = TileColour::Fail;
        tile.headline = "STOPPED — unplug it";
        break;
    default:
        tile.state = TileState::Failed;
        tile.colour = TileColour::Fail;
        tile.headline = "FAIL — unplug it";
        break;
    }
}

} // namespace

LaneFacts FactsOf(const RunningLane& lane) {
    const LaneStatus& status = lane.lane->Status();
    LaneFacts facts;
    facts.slot = lane.slot;
    facts.unit = lane.number;
    if (status.identified) {
        facts.identity = lane.lane->Identity();
    }
    facts.stage = static_cast<Stage>(status.stage.load());
    facts.done = status.done.load();
    facts.total = status.total.load();
    facts.wait = lane.lane->Wait();
    if (status.ended) {
        facts.ended = static_cast<ExitCode>(status.code.load());
        facts.resultLine = lane.lane->ResultLine();
    }
    return facts;
}

Tile TileOf(const LaneFacts& facts) {
    Tile tile;
    tile.slot = facts.slot;
    tile.unit = facts.unit;
    tile.identity = facts.identity ? PrintableRows(*facts.identity) : Placeholders();
    if (facts.ended) {
        EndedTile(tile, *facts.ended, facts.resultLine);
        return tile;
    }
    switch (facts.stage) {
    case Stage::Idle:
        tile.state = TileState::Reading;
        tile.colour = TileColour::Working;
        tile.headline = "reading identity";
        return tile;
    case Stage::Prepare:
    case Stage::CpuBlocks:
    case Stage::FlashBlocks:
        tile.state = TileState::Writing;
        tile.colour = TileColour::Working;
        tile.percent = facts.stage == Stage::Prepare ? 0 : Percent(facts.done, facts.total);
        tile.headline =
            std::string(facts.stage == Stage::FlashBlocks ? "writing flash" : "writing CPU") + " " +
            std::to_string(tile.percent) + " %";
        return tile;
    default: {
        // The commit went (or goes) out: the unit writes its flash on its own now.
        const auto left = facts.wait.TicksLeft(static_cast<std::uint32_t>(facts.done));
        tile.state = TileState::Committed;
        tile.colour = TileColour::Hold;
        tile.headline = "committed — keep it plugged in";
        tile.detail =
            std::to_string(static_cast<long>(std::ceil(facts.wait.Seconds(left)))) + " s left";
        return tile;
    }
    }
}

std::size_t StationTiles::IndexOf(const std::string& slot) {
    const auto it = std::find_if(m_tiles.begin(), m_tiles.end(),
                                 [&](const Tile& tile) { return tile.slot == slot; });
    if (it != m_tiles.end()) {
        return static_cast<std::size_t>(it - m_tiles.begin());
    }
    Tile waiting;
    waiting.slot = slot;
    waiting.identity = Placeholders();
    waiting.headline = "waiting for a unit";
    m_tiles.push_back(std::move(waiting));
    return m_tiles.size() - 1;
}

void StationTiles::Started(const RunningLane& lane) {
    m_tiles[IndexOf(lane.slot)] = TileOf(FactsOf(lane));
}

bool StationTiles::Follow(const std::list<RunningLane>& lanes) {
    bool changed = false;
    for (const RunningLane& lane : lanes) {
        if (lane.lane->Status().ended) {
            continue; // its result is shown once it is reaped
        }
        Tile now = TileOf(FactsOf(lane));
        Tile& shown = m_tiles[IndexOf(lane.slot)];
        if (now.headline != shown.headline || now.detail != shown.detail ||
            now.identity != shown.identity) {
            shown = std::move(now);
            changed = true;
        }
    }
    return changed;
}

void StationTiles::Ended(const RunningLane& lane) {
    m_tiles[IndexOf(lane.slot)] = TileOf(FactsOf(lane));
}

} // namespace knot::station
