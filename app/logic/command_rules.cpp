// The command rules.
#include "command_rules.h"

namespace knot::logic {
namespace {
constexpr std::nullopt_t KEEP = std::nullopt; // the command keeps its state
}

bool MayStart(const CommandFacts& facts) {
    return !facts.running;
}

bool MayOpenFile(const CommandFacts& facts) {
    return !facts.running; // the image must not change under a running download
}

bool MayInitialize(const CommandFacts& facts) {
    // Not between a download's packets, and not in a model without it.
    return facts.hasInitializeCommand && !facts.running;
}

CommandStates AtStartUp() {
    return {KEEP, KEEP, false};
}

CommandStates AtRunStart() {
    return {false, false, false};
}

CommandStates AtCommit() {
    return {KEEP, KEEP, false};
}

CommandStates AtRunEnd(bool succeeded, const CommandFacts& facts) {
    if (succeeded) {
        return {KEEP, true, KEEP};
    }
    return {facts.deviceReady && facts.imageLoaded, true, facts.deviceReady};
}

CommandStates AtUnitReady(const CommandFacts& facts) {
    if (facts.running) {
        return {}; // the run's rules hold until it ends
    }
    return {facts.imageLoaded, KEEP, true};
}

CommandStates AtUnitRemoved() {
    return {false, KEEP, false};
}

CommandStates AtLoad(bool loaded, const CommandFacts& facts) {
    return {loaded && facts.deviceReady && !facts.running, KEEP, KEEP};
}

} // namespace knot::logic
