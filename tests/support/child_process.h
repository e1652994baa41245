// Child processes for suites and benchmarks alike (POSIX, no GoogleTest): start a program with
// its standard streams where the caller wants them, and wait for it with a deadline.
#pragma once

#include "knot_names.h"

#include <chrono>
#include <string>
#include <sys/resource.h>
#include <sys/types.h>
#include <vector>

struct ChildSetup {
    std::vector<std::string> argv; // argv[0]: the program's path (or name, with searchPath)
    bool searchPath = false;       // argv[0] looked up in PATH
    // Each stream: a descriptor of the parent's (>= 0), else a file (created and truncated;
    // "/dev/null" to drop it), else the parent's own.
    int inFd = -1, outFd = -1, errFd = -1;
    std::string in, out, err;
    bool errToOut = false;        // standard error where standard output goes
    std::vector<std::string> env; // NAME=VALUE entries that replace or add to the parent's
    bool dieWithParent = false;   // SIGTERM when the parent dies (Linux)
};

// The child's pid, or -1 when it could not be started.
pid_t SpawnChild(const ChildSetup& setup);

// The child's exit status once it ended within `deadline` (killed and reaped after it; with
// NO_DEADLINE waited for in one blocking call, so that its end is seen at once); -1 when it
// ended by a signal or was killed. `usage`, when given, gets its resource use.
inline constexpr std::chrono::milliseconds NO_DEADLINE = std::chrono::milliseconds::max();
int WaitChild(pid_t pid, std::chrono::milliseconds deadline, rusage* usage = nullptr);
