// What flash and station share on the command line: the run's options, the set-up before any unit
// is touched (the image loaded and checked once, the report opened), said as knot-fdt says it.
#pragma once

#include "exit_codes.h"
#include "run_options.h"
#include "run_setup.h"

#include <string>

namespace CLI {
class App;
} // namespace CLI

namespace knot::cli {
using namespace knot::station;

class FlashSetup {
  public:
    explicit FlashSetup(RunOptionSet set) : m_set(set) {}

    // Adds the run's options to `command`.
    void AddOptions(CLI::App& command) { AddRunOptions(command, m_options, m_set); }
    // Loads and checks the image, then opens the report file. On a refusal the reason is printed
    // (as JSON with `json`) and the exit status returned; Success otherwise.
    ExitCode Load();
    // Prints a refusal as Load does; returns `code`.
    ExitCode Refuse(const char* result, ExitCode code, const std::string& text);
    // Says that a record could not be appended, on standard error.
    static void SayProblem(const std::string& text);

    RunSetup& Setup() { return m_setup; }
    const RunOptions& Options() const { return m_options; }

    bool json = false;

  private:
    RunOptionSet m_set;
    RunOptions m_options;
    RunSetup m_setup{SayProblem};
};

} // namespace knot::cli
