// knot-unit-sim.exe: the simulator on Windows. "serve" installs the test driver (knot_unit.sys,
// found beside this program) as a kernel-driver service, answers every request of every plugged
// unit's device from its VirtualUnit through the driver's relay device, and removes what it
// installed when it ends. "plug", "unplug", "list" and "stop" talk to it over a named pipe.
#include "relay_server.h"
#include "serve_options.h"
#include "sim_command_line.h"
#include "unit_driver_service.h"

#include <cstdio>
#include <string>
#include <vector>

namespace knot::sim {
namespace {

const std::string USAGE = std::string(SIM_USAGE) +
                          "       knot-unit-sim stop\n"
                          "serve installs the test driver " UNIT_RELAY_DRIVER_FILE
                          " found beside this program.\n";

int Serve(const std::vector<std::string>& args) {
    ServeOptions options;
    std::string error;
    if (!ParseServeOptions(args, options, error)) {
        std::fprintf(stderr, "knot-unit-sim: %s\n%s", error.c_str(), USAGE.c_str());
        return 2;
    }
    RelayServer server(options);
    if (!server.Start(error)) {
        std::fprintf(stderr, "knot-unit-sim: %s\n", error.c_str());
        return 1;
    }
    // Scripts and tests wait for this line before they plug units.
    std::printf("knot-unit-sim: serving through %s\n", UNIT_RELAY_SERVICE);
    std::fflush(stdout);
    server.Run();
    return 0;
}

int Request(const std::vector<std::string>& words) {
    std::string message;
    for (const std::string& word : words) {
        if (!message.empty())
            message += '\0';
        message += word;
    }
    char reply[PIPE_BUFFER + 1] = {};
    DWORD got = 0;
    if (!CallNamedPipeA(PIPE_NAME, message.data(), static_cast<DWORD>(message.size()), reply,
                        PIPE_BUFFER, &got, CONTROL_TIMEOUT_MS) ||
        got == 0) {
        // A server that died answers no "stop": what it installed is removed here.
        if (words.front() == "stop" && UnitDriverService::RemoveLeftovers())
            return 0;
        std::fprintf(stderr, "knot-unit-sim: no simulator serves (%s)\n", PIPE_NAME);
        return 1;
    }
    return PrintRequestReply(reply[0] == REPLY_OK, std::string(reply + 1, got - 1));
}

} // namespace

} // namespace knot::sim

int main(int argc, char** argv) {
    using namespace knot::sim;
    return RunSimCommandLine({argv + 1, argv + argc}, USAGE, {"stop"}, Serve, Request);
}
