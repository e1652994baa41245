// Ctrl-C for the commands that talk to a unit: the first interrupt only raises a flag, which the
// command reads between two exchanges with the unit; a second one ends the program at once.
#pragma once

// Installs the handler (once).
void WatchForInterrupt();
// True once Ctrl-C (SIGINT) has been pressed.
bool Interrupted();
