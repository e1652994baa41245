// The names of the stages and the causes.
#include "failure.h"

#include <algorithm>
#include <array>

namespace knot::logic {
namespace {

template <typename Value> struct Named {
    Value value;
    const char* name;
    const char* words = nullptr; // the operator's words, where a failure's line gives them
};

constexpr std::array<Named<Stage>, 9> STAGES{{
    {Stage::Idle, "idle"},
    {Stage::Lock, "lock"},
    {Stage::Identity, "identity"},
    {Stage::Prepare, "prepare"},
    {Stage::CpuBlocks, "cpu"},
    {Stage::FlashBlocks, "flash"},
    {Stage::Commit, "commit"},
    {Stage::Wait, "wait"},
    {Stage::Finished, "finished"},
}};

constexpr std::array<Named<Cause>, 10> CAUSES{{
    {Cause::NoUnit, "no-unit", "no qualifying unit is attached"},
    {Cause::Busy, "busy", "another program is writing it"},
    {Cause::LockFailed, "lock-failed", "its lock could not be taken"},
    {Cause::Refused, "refused", "the unit refused it"},
    {Cause::NoAnswer, "no-answer", "the unit stopped answering"},
    {Cause::OutOfTurn, "out-of-turn", "the unit kept answering out of turn"},
    {Cause::LinkFailed, "link-failed", "the link failed: the driver did not take the packet"},
    {Cause::Removed, "removed", "the unit was unplugged"},
    {Cause::UnitRemoved, "unit-removed", "the unit was unplugged"},
    {Cause::Interrupted, "interrupted", "interrupted"},
}};

// The stages a run can fail in: from the lock to the wait.
constexpr std::array<Stage, 7> FAILURE_STAGES{Stage::Lock,      Stage::Identity,    Stage::Prepare,
                                              Stage::CpuBlocks, Stage::FlashBlocks, Stage::Commit,
                                              Stage::Wait};
constexpr std::array<Cause, CAUSES.size()> ALL_CAUSES = [] {
    std::array<Cause, CAUSES.size()> causes{};
    std::transform(CAUSES.begin(), CAUSES.end(), causes.begin(),
                   [](const Named<Cause>& named) { return named.value; });
    return causes;
}();

template <typename Value, std::size_t N>
const Named<Value>* RowOf(const std::array<Named<Value>, N>& table, Value value) {
    for (const Named<Value>& named : table) {
        if (named.value == value) {
            return &named;
        }
    }
    return nullptr;
}

} // namespace

const char* StageName(Stage stage) {
    const Named<Stage>* row = RowOf(STAGES, stage);
    return row != nullptr ? row->name : "?";
}

const char* CauseName(Cause cause) {
    const Named<Cause>* row = RowOf(CAUSES, cause);
    return row != nullptr ? row->name : "?";
}

const char* CauseWords(Cause cause) {
    const Named<Cause>* row = RowOf(CAUSES, cause);
    return row != nullptr ? row->words : "?";
}

std::span<const Stage> FailureStages() {
    return FAILURE_STAGES;
}

std::span<const Cause> FailureCauses() {
    return ALL_CAUSES;
}

} // namespace knot::logic
