// The command line of knot-unit-sim, shared by the Linux and the Windows simulator: help, "serve",
// the requests passed on to a running server, and the usage text.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace knot::sim {
// The usage of what every simulator serves; a transport adds the lines of its own after it.
inline constexpr const char* SIM_USAGE =
    "usage: knot-unit-sim serve [--capture FILE] [--save-memory DIR] [--latency-us N]\n"
    "       knot-unit-sim plug [--vendor 0xVVVV] [--product 0xPPPP] [--number N]\n"
    "                          [--packet-size 62|64] [--program-name TEXT] [--version TEXT]\n"
    "                          [--checksum HHHH] [--no-descriptor] [--no-number] [--no-event]\n"
    "                          [--slot NAME] [--fault SPEC]...\n"
    "       knot-unit-sim unplug N\n"
    "       knot-unit-sim list\n";

using SimCommand = std::function<int(const std::vector<std::string>&)>;

// `serve` gets the words after "serve"; `request` gets the whole command line when its first
// word is "plug", "unplug", "list" or one of `ownRequests`. "--help" or "-h" anywhere prints
// `usage` and ends with 0.
int RunSimCommandLine(const std::vector<std::string>& args, const std::string& usage,
                      const std::vector<std::string>& ownRequests, const SimCommand& serve,
                      const SimCommand& request);

// Prints a server's reply to a request: the text on standard output when `ok`, else the error on
// standard error. Returns the exit status, 0 or 1.
int PrintRequestReply(bool ok, const std::string& text);

} // namespace knot::sim
