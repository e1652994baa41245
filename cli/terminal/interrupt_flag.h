// Stopping a command that talks to units. Ctrl-C, SIGTERM and SIGHUP (on Windows Ctrl-C,
// Ctrl-Break and the closing of the console window) only raise a flag, which the command reads
// between two exchanges with a unit. A second one ends the program at once with 130, once the
// command's last words are said (the records of the units still in progress, the tally); so does
// the closing console, which leaves the program only a few seconds. A closed output (SIGPIPE)
// ends nothing: the write fails, and the run goes on.
#pragma once

#include <functional>

namespace knot::cli {
// Installs the handling (once), before the command starts any thread.
void WatchForInterrupt();
// True once the first stop came.
bool Interrupted();

// The command's last words, said on the thread that takes the stop, while this object lives.
class LastWords {
  public:
    explicit LastWords(std::function<void()> words);
    // Waits for last words under way (which end the program).
    ~LastWords();
    LastWords(const LastWords&) = delete;
    LastWords& operator=(const LastWords&) = delete;
};

} // namespace knot::cli
