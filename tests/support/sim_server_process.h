// Starts a real knot-unit-sim server in a temporary folder for one test and guarantees that it is
// gone afterwards: the destructor stops it, and the program's end kills any that a test left.
// Needs no GoogleTest, so that benchmarks start servers with it too.
#pragma once

#include "knot_names.h"

#include <string>
#include <sys/types.h>
#include <vector>

// How long a port made for a test waits for a unit's answer: short enough that a silent unit
// costs little, long enough for a loaded machine to answer.
constexpr int SHORT_RECEIVE_TIMEOUT_MS = 200;

struct CommandResult {
    int exitCode = -1; // -1: did not end in time or could not start
    std::string output;
};

class SimServerProcess {
  public:
    // Starts "knot-unit-sim serve" with `serveArgs`; "{root}" in an argument becomes Root().
    explicit SimServerProcess(std::vector<std::string> serveArgs = {});
    ~SimServerProcess();
    SimServerProcess(const SimServerProcess&) = delete;
    SimServerProcess& operator=(const SimServerProcess&) = delete;

    // Whether the server announced that it serves.
    bool Ready() const { return m_ready; }
    // A fresh temporary folder for files of the test; removed with everything in it.
    const std::string& Root() const { return m_root; }
    // The rendezvous folder, inside Root(); the server creates it.
    const std::string& Directory() const { return m_directory; }

    // Runs "knot-unit-sim <args>" against this server.
    CommandResult Run(const std::vector<std::string>& args) const;
    // Plugs a unit and returns its device number, or -1.
    int Plug(const std::vector<std::string>& args = {}) const;
    bool Unplug(int number) const;
    // Stops the server (SIGTERM) and waits for it; true when it ended on its own with status 0.
    bool Stop();

  private:
    std::string m_root;
    std::string m_directory;
    pid_t m_pid = -1;
    int m_output = -1;
    bool m_ready = false;
};

// Runs "knot-unit-sim <args>" with KNOT_SIM_DIR set to `directory`, and collects its output
// (with `errorsToo`, its standard error as well).
CommandResult RunSimCommand(const std::vector<std::string>& args, const std::string& directory,
                            bool errorsToo = false);

// Starts knot-unit-sim with `args`, KNOT_SIM_DIR set to `directory`, stdout (and with
// `errorsToo` stderr) into a pipe. Returns the pid, and the read end of the pipe in `output`;
// -1 on failure.
pid_t StartSimProcess(const std::vector<std::string>& args, const std::string& directory,
                      int& output, bool errorsToo = false);
