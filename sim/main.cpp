// knot-unit-sim: stands in for the unit's driver and the units themselves. "serve" runs the
// server; "plug", "unplug" and "list" talk to the one that runs in the same rendezvous folder.
#include "sim_command_line.h"
#include "sim_server.h"
#include "sim_wire.h"

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace knot::sim {
using namespace knot::device;

namespace {

constexpr int CONTROL_TIMEOUT_MS = 5000;
const std::string USAGE =
    std::string(SIM_USAGE) +
    "The rendezvous folder is $KNOT_SIM_DIR, or else $XDG_RUNTIME_DIR/knot-unit-sim, or else\n"
    "/tmp/knot-unit-sim-UID; serve creates it with mode 0700, and a folder of another user or\n"
    "one that others can write is refused.\n";

int g_stopPipe[2] = {-1, -1};

extern "C" void OnStopSignal(int) {
    const char byte = 1;
    // Nothing to do if it fails: the pipe already holds a byte.
    [[maybe_unused]] const ssize_t written = ::write(g_stopPipe[1], &byte, 1);
}

int Serve(const std::vector<std::string>& args) {
    ServeOptions options;
    options.directory = SimDirectory();
    std::string error;
    if (!ParseServeOptions(args, options, error)) {
        std::fprintf(stderr, "knot-unit-sim: %s\n%s", error.c_str(), USAGE.c_str());
        return 2;
    }
    if (::pipe2(g_stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::perror("knot-unit-sim: pipe");
        return 1;
    }
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    SimServer server(options);
    if (!server.Start(error)) {
        std::fprintf(stderr, "knot-unit-sim: %s\n", error.c_str());
        return 1;
    }
    // Scripts and tests wait for this line before they plug units.
    std::printf("knot-unit-sim: serving in %s\n", options.directory.c_str());
    std::fflush(stdout);
    server.Run(g_stopPipe[0]);
    return 0;
}

int Request(const std::vector<std::string>& words) {
    bool ok = false;
    std::string reply;
    const std::string directory = SimDirectory();
    if (std::string problem = SimDirectoryProblem(directory); !problem.empty()) {
        std::fprintf(stderr, "knot-unit-sim: %s\n", problem.c_str());
        return 1;
    }
    if (!SimControlRequest(directory, words, ok, reply, CONTROL_TIMEOUT_MS)) {
        std::fprintf(stderr, "knot-unit-sim: no simulator serves %s\n", directory.c_str());
        return 1;
    }
    return PrintRequestReply(ok, reply);
}

} // namespace

} // namespace knot::sim

int main(int argc, char** argv) {
    using namespace knot::sim;
    return RunSimCommandLine({argv + 1, argv + argc}, USAGE, {}, Serve, Request);
}
