// The station's view of which unit is present and already written, one listing after another.
#include "knot_names.h"

#include "station_presence.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using Listing = std::optional<std::vector<std::string>>;

struct Round {
    const char* what;
    Listing listing;
    std::vector<std::string> busy;   // paths whose lane of an earlier plug still runs
    std::vector<std::string> looked; // interfaces opened for a look
    std::vector<std::int32_t> started;
    std::vector<std::int32_t> unplugged;
};

// Unit 1 at A and unit 2 at B qualify; the interface at X does not. Each sits in slot "s" + its
// number.
const std::map<std::string, UnitLook> INTERFACES = {
    {"A", {true, 1, "s1"}}, {"B", {true, 2, "s2"}}, {"X", {false, 7, "s7"}}};

const std::vector<Round> ROUNDS = {
    {"unit 1 plugged", Listing{{"A"}}, {}, {"A"}, {1}, {}},
    {"unit 1 written and still present", Listing{{"A"}}, {}, {}, {}, {}},
    {"another interface's path cannot be read", Listing{{"", "X"}}, {}, {"X"}, {}, {}},
    {"the listing failed", std::nullopt, {}, {}, {}, {}},
    {"unit 1 unplugged", Listing{{"X"}}, {}, {}, {}, {1}},
    {"unit 1 back while its last lane still ends", Listing{{"A", "X"}}, {"A"}, {"A"}, {}, {}},
    {"that lane over", Listing{{"A", "X"}}, {}, {}, {1}, {}},
    {"unit 2 plugged beside it", Listing{{"B", "A", "X"}}, {}, {"B"}, {2}, {}},
    {"the interface that never qualified unplugged", Listing{{"B", "A"}}, {}, {}, {}, {}},
};

TEST(StationPresenceTest, StartsEachUnitOncePerPlug) {
    Presence present;
    PresenceRules rules;
    rules.retryInterval = std::chrono::seconds(1); // X is looked at once in this session
    const Round* round = nullptr;
    std::vector<std::string> looked;
    rules.look = [&](std::uint32_t index, const std::string& path) {
        EXPECT_EQ(round->listing->at(index), path) << round->what;
        looked.push_back(path);
        return std::optional<UnitLook>(INTERFACES.at(path));
    };
    rules.busy = [&](const std::string& path) {
        return std::count(round->busy.begin(), round->busy.end(), path) > 0;
    };
    for (const Round& each : ROUNDS) {
        round = &each;
        looked.clear();
        rules.now += std::chrono::milliseconds(100);
        PresenceStep step = TrackPresence(std::move(present), each.listing, rules);
        present = std::move(step.present);
        std::vector<std::int32_t> started;
        for (const UnitToStart& unit : step.start) {
            started.push_back(unit.number);
            EXPECT_EQ(unit.slot, "s" + std::to_string(unit.number)) << each.what;
        }
        for (std::size_t i = 0; i < step.unplugged.size(); ++i) {
            EXPECT_EQ(step.unpluggedSlots.at(i), "s" + std::to_string(step.unplugged[i]));
        }
        EXPECT_EQ(looked, each.looked) << each.what;
        EXPECT_EQ(started, each.started) << each.what;
        EXPECT_EQ(step.unplugged, each.unplugged) << each.what;
    }
}

} // namespace
