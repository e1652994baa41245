// Which interfaces the station sees and which of their units it already wrote in this plug, as a
// plain function of successive listings of the present device paths.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace knot::station {
// What the station knows of one present interface.
struct PresentUnit {
    bool qualifies = false;
    std::int32_t number = 0;
    std::string slot;     // where it sits
    bool written = false; // a lane was started for it in this plug
    std::chrono::steady_clock::time_point inspected;
};
// Every present interface the station looked at, by device path.
using Presence = std::map<std::string, PresentUnit>;

// What opening a listed interface showed.
struct UnitLook {
    bool qualifies = false;
    std::int32_t number = 0;
    std::string slot;
};

// What a listing asks of the world around the station.
struct PresenceRules {
    std::chrono::steady_clock::time_point now;
    // How long an interface that did not qualify is left alone before it is looked at again.
    std::chrono::milliseconds retryInterval{0};
    // Opens the interface at `index` of the listing for a look; nothing when the interfaces
    // changed since they were listed (it is looked at again with the next listing).
    std::function<std::optional<UnitLook>(std::uint32_t index, const std::string& path)> look;
    // Whether a lane still runs for the unit at this path (it was plugged back while the run of
    // its last plug still ends): it is started once that lane is over.
    std::function<bool(const std::string& path)> busy;
};

struct UnitToStart {
    std::string path;
    std::int32_t number = 0;
    std::string slot;
};

// What one listing changed.
struct PresenceStep {
    Presence present;
    std::vector<UnitToStart> start;          // qualifying units not written in this plug yet
    std::vector<std::int32_t> unplugged;     // units written in this plug that are gone now
    std::vector<std::string> unpluggedSlots; // and where each sat
};

// The presence after `listing` (the device paths of one enumeration, "" where a path could not
// be read; nothing when the interfaces could not be listed). A unit counts as gone only when a
// whole listing lacks it: a path that could not be read may be its own.
PresenceStep TrackPresence(Presence previous,
                           const std::optional<std::vector<std::string>>& listing,
                           const PresenceRules& rules);

} // namespace knot::station
