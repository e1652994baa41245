// knot-unit-sim.exe driven from a test under Wine: its server started and stopped, units plugged
// and unplugged through its command line. Needs the Wine prefix of the driver tests.
#pragma once

#include "knot_names.h"

#include <windows.h>

#include <cstdint>
#include <string>

struct ProcessResult {
    DWORD exitCode = ~DWORD{0};
    std::string out;
};

// Runs knot-unit-sim.exe with `args` to its end (at most 30 s) and collects its output.
ProcessResult RunSim(const std::string& args);
// Plugs a unit with the options of `plug`; its device number, or -2 when the plug failed.
std::int32_t Plug(const std::string& options);
bool Unplug(std::int32_t number);

// The simulator's server, serving from Start() (which returns once it serves) until Stop() or the
// end of this object.
class UnitSimServer {
  public:
    UnitSimServer() = default;
    ~UnitSimServer() { Stop(); }
    UnitSimServer(const UnitSimServer&) = delete;
    UnitSimServer& operator=(const UnitSimServer&) = delete;

    // True once the server says it serves; otherwise its first line goes to `said`. `options`
    // are those of `serve` ("--capture FILE").
    bool Start(std::string& said, const std::string& options = "");
    // Asks the server to stop and waits for its end; true when it stopped and ended in time.
    bool Stop();
    bool Running() const { return m_process != nullptr; }

  private:
    HANDLE m_process = nullptr;
    HANDLE m_out = nullptr;
};
