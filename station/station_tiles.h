// What the station window shows of each slot, as a plain function of the station's events and
// its lanes' status: one tile per slot, its state in words and colour, kept until the next unit
// is plugged in there.
#pragma once

#include "lane_runner.h"
#include "logic_events.h"

#include <cstdint>
#include <list>
#include <optional>
#include <string>
#include <vector>

namespace knot::station {

enum class TileState {
    Waiting,   // no unit yet
    Reading,   // the unit is opened and its identity read
    Writing,   // the prepare and the blocks: percent and bar
    Committed, // the unit writes its flash: keep it plugged in, seconds left
    Passed,    // written: unplug it
    Failed,    // not written: where and why, unplug it
    Stopped,   // the station stopped it before its commit
    Busy,      // another program writes the unit
};

// The tile's colour: the state at a glance from a step away.
enum class TileColour { Idle, Working, Hold, Pass, Fail };

struct Tile {
    std::string slot;
    std::optional<std::int32_t> unit; // its device number, once a unit was plugged in
    IdentityValues identity;          // printable; placeholders until it answered
    TileState state = TileState::Waiting;
    TileColour colour = TileColour::Idle;
    std::string headline; // "PASS — unplug it"
    std::string detail;   // the stage and percent, the seconds left, or where and why it failed
    int percent = -1;     // 0 to 100 while writing, else -1
};

// The tiles of a station, in the order their slots were first seen.
class StationTiles {
  public:
    // A lane started in its slot: the slot's tile shows the new unit, whatever it showed.
    void Started(const RunningLane& lane);
    // After a poll: every tile of a lane still running follows its status. Returns whether any
    // tile changed.
    bool Follow(const std::list<RunningLane>& lanes);
    // A lane ended: its tile shows the result until the next unit is plugged into its slot.
    void Ended(const RunningLane& lane);

    const std::vector<Tile>& Tiles() const { return m_tiles; }
    // The index of the slot's tile (made when the slot is new).
    std::size_t IndexOf(const std::string& slot);

  private:
    std::vector<Tile> m_tiles;
};

// What a tile is made of: a lane's slot, unit and status as they stand.
struct LaneFacts {
    std::string slot;
    std::int32_t unit = 0;
    std::optional<IdentityValues> identity; // once the unit answered
    Stage stage = Stage::Idle;
    long done = 0;
    long total = 0;
    CommitWait wait;
    std::optional<ExitCode> ended; // the lane's exit status, once it ended
    std::string resultLine;        // how it ended, once it did
};
LaneFacts FactsOf(const RunningLane& lane);
// The tile those facts show.
Tile TileOf(const LaneFacts& facts);

} // namespace knot::station
