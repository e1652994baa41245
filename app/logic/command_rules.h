// The rules of Start, File > Open and Data > Initialize, in one place: when each command may be
// given, and what each shows enabled after the occasions that change them.
#pragma once

#include "logic_events.h"

namespace knot::logic {
// What the rules look at.
struct CommandFacts {
    bool running = false;              // a download runs
    bool deviceReady = false;          // a unit answered its identity query (m_bDeviceReady)
    bool imageLoaded = false;          // an image is loaded
    bool hasInitializeCommand = false; // the model knows Data > Initialize
};

// Whether each command is taken now (a refused one does nothing).
bool MayStart(const CommandFacts& facts);
bool MayOpenFile(const CommandFacts& facts);
bool MayInitialize(const CommandFacts& facts);

// What the commands show after each occasion.
CommandStates AtStartUp();  // Initialize off (the window disabled Start itself)
CommandStates AtRunStart(); // every command off while the run lasts
CommandStates AtCommit();   // the unit writes its flash: Initialize off
// Open comes back; after a failed run Start and Initialize follow the unit and the image, after
// a successful one they stay off until the unit is next found.
CommandStates AtRunEnd(bool succeeded, const CommandFacts& facts);
CommandStates AtUnitReady(const CommandFacts& facts); // nothing while a run lasts
CommandStates AtUnitRemoved();                        // Start and Initialize off
// After a load (`loaded`: it succeeded), once its message box closed: a run may have begun
// inside the box only if Start was enabled, and then Start stays off.
CommandStates AtLoad(bool loaded, const CommandFacts& facts);

} // namespace knot::logic
