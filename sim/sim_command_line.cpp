#include "sim_command_line.h"

#include <algorithm>
#include <cstdio>

int RunSimCommandLine(const std::vector<std::string>& args, const char* usage,
                      const std::vector<std::string>& requests, const SimCommand& serve,
                      const SimCommand& request) {
    if (args.empty()) {
        std::fputs(usage, stderr);
        return 2;
    }
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") {
            std::fputs(usage, stdout); // after any command too: "serve --help" asks for help
            return 0;
        }
    }
    const std::string& command = args.front();
    if (command == "serve")
        return serve({args.begin() + 1, args.end()});
    if (std::find(requests.begin(), requests.end(), command) != requests.end())
        return request(args);
    std::fprintf(stderr, "knot-unit-sim: unknown command \"%s\"\n%s", command.c_str(), usage);
    return 2;
}
