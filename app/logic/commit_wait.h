// The wait after the commit, while the unit writes its flash: a number of ticks and their length.
// Every count of ticks and every time left is worked out here.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>

namespace knot::logic {
// The 10 ms tick of the wait after the commit.
inline constexpr std::chrono::milliseconds COMMIT_WAIT_TICK{10};

struct CommitWait {
    std::uint32_t steps = 0; // the last tick's index: the wait has steps + 1 ticks
    std::chrono::milliseconds tick = COMMIT_WAIT_TICK;

    std::uint32_t Ticks() const { return steps + 1; }
    std::uint32_t TicksLeft(std::uint32_t done) const { return Ticks() - std::min(done, Ticks()); }
    // How long `ticks` of this wait take, in seconds.
    double Seconds(double ticks) const {
        return ticks * std::chrono::duration<double>(tick).count();
    }

    // A wait of at least `milliseconds` in whole ticks; 0: one tick that takes no time.
    static CommitWait OfMilliseconds(long milliseconds) {
        if (milliseconds <= 0) {
            return {0, std::chrono::milliseconds(0)};
        }
        const auto ticks = static_cast<std::uint32_t>(
            (milliseconds + COMMIT_WAIT_TICK.count() - 1) / COMMIT_WAIT_TICK.count());
        return {ticks - 1, COMMIT_WAIT_TICK};
    }
};

} // namespace knot::logic
