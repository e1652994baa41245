#include "knot_names.h"

#include "run_tool.h"

#include "file_text.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace {

// The program's path as the shell of this platform takes it. Under Wine a cross-built test sees
// the build's Unix path, which the Windows side reaches through drive Z:.
std::string ToolPath() {
    std::string path = KNOT_FDT_PATH;
#ifdef _WIN32
    if (!path.empty() && path[0] == '/') {
        path = "Z:" + path;
    }
    for (char& c : path) {
        c = c == '/' ? '\\' : c;
    }
#endif
    return path;
}

} // namespace

std::string Quote(const std::string& text) {
    return "\"" + text + "\"";
}

ToolRun RunTool(const std::string& arguments) {
    const std::string outFile = "knot-fdt-stdout.txt";
    const std::string errFile = "knot-fdt-stderr.txt";
    std::string command = Quote(ToolPath()) + " " + arguments + " >" + outFile + " 2>" + errFile;
#ifdef _WIN32
    command = "\"" + command + "\""; // cmd.exe strips one pair of outer quotes
#endif
    int status = std::system(command.c_str());
    ToolRun run;
#ifdef _WIN32
    run.exitCode = status;
#else
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    run.out = ReadFile(outFile);
    run.err = ReadFile(errFile);
    std::error_code ignored;
    std::filesystem::remove(outFile, ignored);
    std::filesystem::remove(errFile, ignored);
    return run;
}
