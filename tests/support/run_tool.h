// Runs the built knot-fdt with arguments, in the current folder, and captures its exit status,
// standard output and standard error.
#pragma once

#include "knot_names.h"

#include <string>

struct ToolRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// `arguments` is appended to the program's path as it stands; quote paths with Quote().
ToolRun RunTool(const std::string& arguments);

std::string Quote(const std::string& text);
