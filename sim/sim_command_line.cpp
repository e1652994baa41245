#include "sim_command_line.h"

#include <algorithm>
#include <cstdio>

namespace knot::sim {
namespace {

// The requests every simulator's unit host serves.
const std::vector<std::string> HOST_REQUESTS = {"plug", "unplug", "list"};

} // namespace

int RunSimCommandLine(const std::vector<std::string>& args, const std::string& usage,
                      const std::vector<std::string>& ownRequests, const SimCommand& serve,
                      const SimCommand& request) {
    if (args.empty()) {
        std::fputs(usage.c_str(), stderr);
        return 2;
    }
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") {
            std::fputs(usage.c_str(),
                       stdout); // after any command too: "serve --help" asks for help
            return 0;
        }
    }
    const std::string& command = args.front();
    if (command == "serve")
        return serve({args.begin() + 1, args.end()});
    const auto known = [&](const std::vector<std::string>& requests) {
        return std::find(requests.begin(), requests.end(), command) != requests.end();
    };
    if (known(HOST_REQUESTS) || known(ownRequests))
        return request(args);
    std::fprintf(stderr, "knot-unit-sim: unknown command \"%s\"\n%s", command.c_str(),
                 usage.c_str());
    return 2;
}

int PrintRequestReply(bool ok, const std::string& text) {
    if (!ok) {
        std::fprintf(stderr, "knot-unit-sim: %s\n", text.c_str());
        return 1;
    }
    std::fputs(text.c_str(), stdout);
    return 0;
}

} // namespace knot::sim
