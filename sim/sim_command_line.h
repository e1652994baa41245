// The command line of knot-unit-sim, shared by the Linux and the Windows simulator: help, "serve",
// and the requests passed on to a running server.
#pragma once

#include <functional>
#include <string>
#include <vector>

using SimCommand = std::function<int(const std::vector<std::string>&)>;

// `serve` gets the words after "serve"; `request` gets the whole command line when its first
// word is one of `requests`. "--help" or "-h" anywhere prints `usage` and ends with 0.
int RunSimCommandLine(const std::vector<std::string>& args, const char* usage,
                      const std::vector<std::string>& requests, const SimCommand& serve,
                      const SimCommand& request);
