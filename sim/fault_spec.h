// A fault that a virtual unit plays on request: refuse, stay silent, vanish, or send extra answers.
// Written on the command line as "refuse=prepare", "silent=cpu:12", "unplug=wait:50", "stale=2".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace knot::sim {
enum class FaultKind {
    Refuse,    // answer the trigger with a refusal status
    Silent,    // never answer the trigger
    Unplug,    // vanish right after the trigger (or that long after the commit)
    Stale,     // `count` acceptances of another command before every real answer
    WrongSize, // `count` answers of the other packet size before every real answer
};

enum class FaultTrigger {
    None, // stale and wrongsize apply to every answer
    Prepare,
    Commit,
    Initialize,
    Query,      // the `value`-th identity query, counting from 1
    CpuBlock,   // the CPU data block whose block number is `value`
    FlashBlock, // the flash data block whose block number is `value`
    Wait,       // `value` milliseconds after the commit (unplug only)
};

struct FaultSpec {
    FaultKind kind = FaultKind::Refuse;
    FaultTrigger trigger = FaultTrigger::None;
    std::uint32_t value = 0; // K, MS or N, as the trigger or kind says
};

// Parses one spec as written after --fault; nothing when it is malformed.
std::optional<FaultSpec> ParseFaultSpec(std::string_view text);
// Writes a fault back in the form ParseFaultSpec reads.
std::string FormatFaultSpec(const FaultSpec& fault);

} // namespace knot::sim
