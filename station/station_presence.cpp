#include "station_presence.h"

#include <algorithm>

namespace knot::station {
namespace {

bool Lists(const std::vector<std::string>& paths, const std::string& path) {
    return std::find(paths.begin(), paths.end(), path) != paths.end();
}

} // namespace

PresenceStep TrackPresence(Presence previous,
                           const std::optional<std::vector<std::string>>& listing,
                           const PresenceRules& rules) {
    PresenceStep step;
    step.present = std::move(previous);
    Presence& present = step.present;
    const std::vector<std::string> paths = listing.value_or(std::vector<std::string>());
    if (listing && !Lists(paths, "")) {
        for (auto it = present.begin(); it != present.end();) {
            if (Lists(paths, it->first)) {
                ++it;
                continue;
            }
            if (it->second.written) {
                step.unplugged.push_back(it->second.number);
                step.unpluggedSlots.push_back(it->second.slot);
            }
            it = present.erase(it); // unplugged: the next plug is a new arrival
        }
    }
    // Only a new interface is opened for a look, or one that did not qualify a while ago.
    for (std::size_t index = 0; index < paths.size(); ++index) {
        const std::string& path = paths[index];
        auto known = present.find(path);
        if (path.empty() || (known != present.end() &&
                             (known->second.qualifies ||
                              rules.now - known->second.inspected < rules.retryInterval))) {
            continue;
        }
        if (std::optional<UnitLook> look = rules.look(static_cast<std::uint32_t>(index), path)) {
            PresentUnit& unit = present[path];
            unit.qualifies = look->qualifies;
            unit.number = look->number;
            unit.slot = look->slot;
            unit.inspected = rules.now;
        }
    }
    for (auto& [path, unit] : present) {
        if (unit.qualifies && !unit.written && !rules.busy(path)) {
            unit.written = true;
            step.start.push_back({path, unit.number, unit.slot});
        }
    }
    return step;
}

} // namespace knot::station
