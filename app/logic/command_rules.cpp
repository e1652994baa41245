// The command rules.
#include "command_rules.h"

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
    return {.initialize = false};
}

CommandStates AtRunStart() {
    return {.start = false, .open = false, .initialize = false};
}

CommandStates AtCommit() {
    return {.initialize = false};
}

CommandStates AtRunEnd(bool succeeded, const CommandFacts& facts) {
    if (succeeded) {
        return {.open = true};
    }
    return {.start = facts.deviceReady && facts.imageLoaded,
            .open = true,
            .initialize = facts.deviceReady};
}

CommandStates AtUnitReady(const CommandFacts& facts) {
    if (facts.running) {
        return {}; // the run's rules hold until it ends
    }
    return {.start = facts.imageLoaded, .initialize = true};
}

CommandStates AtUnitRemoved() {
    return {.start = false, .initialize = false};
}

CommandStates AtLoad(bool loaded, const CommandFacts& facts) {
    return {.start = loaded && facts.deviceReady && !facts.running};
}
