// Where a unit's run stands or stopped, and why: the stages from taking the unit's lock to the
// wait after the commit, the causes of a failure, and the one table that names both for the
// records, the terminal's lines and the record's schema.
#pragma once

#include <cstdint>
#include <span>

namespace knot::logic {
enum class Stage {
    Idle,
    Lock,     // taking the unit's lock for writing
    Identity, // opening the unit and its identity query
    Prepare,
    CpuBlocks,
    FlashBlocks,
    Commit,
    Wait, // the unit writes its flash after the commit
    Finished,
};

enum class Cause {
    NoUnit,      // none qualified, or the one named is gone
    Busy,        // another program writes the unit
    LockFailed,  // the unit's lock could not be taken
    Refused,     // the unit refused the command or block
    NoAnswer,    // the unit did not answer
    OutOfTurn,   // the unit kept answering out of turn
    LinkFailed,  // the driver did not take a packet
    Removed,     // unplugged during its identity query
    UnitRemoved, // unplugged during the download
    Interrupted, // stopped by the operator (Ctrl-C, the window's close)
};

// One failure: the stage, the block of that stage that was sent (from 1; 0 for a stage without
// blocks) and the cause.
struct Failure {
    Stage stage = Stage::Idle;
    std::int32_t block = 0;
    Cause cause = Cause::NoAnswer;

    bool operator==(const Failure&) const = default;
};

// The names records and terminal lines use ("cpu", "unit-removed", ...).
const char* StageName(Stage stage);
const char* CauseName(Cause cause);
// A cause in the operator's words, as a failure's line ends ("the unit refused it").
const char* CauseWords(Cause cause);
// The stages a failure can name (lock to wait) and every cause, in the table's order.
std::span<const Stage> FailureStages();
std::span<const Cause> FailureCauses();

} // namespace knot::logic
