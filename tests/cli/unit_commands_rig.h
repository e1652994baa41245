// What the tests of knot-fdt's unit commands share: knot-fdt's command line run in this process
// over in-process units (a loopback port), or a knot-unit-sim process for the tests of knot-fdt
// as a process (signals, locks between processes); the scratch folder the test runs in, and
// readers of the units' capture and of the tool's output.
#pragma once

#include "knot_names.h"

#include "child_process.h"
#include "driver_port_factory.h"
#include "file_text.h"
#include "loopback_driver_port.h"
#include "run_tool.h"
#include "scratch_folder.h"
#include "sim_server_process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

namespace knot_cli_test {

using Clock = std::chrono::steady_clock;

inline std::string Slurp(const std::string& path) {
    return ReadFile(path);
}
// The bundled sample of `model` ('q' or 'p').
std::string Sample(char model);
// Lines of the server's capture in which the unit received a packet with `code` (4 hex digits).
int ReceivedWithCode(const std::string& capture, const char* code);
// The packets of the server's capture, by device number, without the number: "R|S HEX".
std::map<int, std::vector<std::string>> PacketsByUnit(const std::string& capture);
std::vector<std::string> Lines(const std::string& text);
// A small model P image: two CPU blocks and five flash blocks. With `badChecksum` the last
// record's checksum is wrong; with `empty` it holds no data record at all.
void WriteSmallImage(const std::string& path, bool badChecksum = false, bool empty = false);
// Starts knot-fdt with `args`, its output into NAME-out.txt and NAME-err.txt in the current
// folder; with `closedOut` its standard output is a pipe whose reader has gone.
pid_t StartTool(const std::vector<std::string>& args, const std::string& name = "tool",
                bool closedOut = false);
// Waits for `pid` up to `deadline`; its exit status, or -1 (and then it is killed).
inline int WaitForExit(pid_t pid, std::chrono::seconds deadline) {
    return WaitChild(pid, deadline);
}
int Count(const std::string& text, const std::string& part);
bool WaitUntil(const std::function<bool()>& condition, std::chrono::seconds deadline);
// Whether `pid` took every stop signal sent to it (none waits in its pending set).
bool SignalsTaken(pid_t pid);

// Each test gets its own units in this process, and runs in a scratch folder of its own, where
// the units save their memory at each commit.
class UnitCommandsTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    // Plugs a unit with knot-unit-sim's plug options; its device number, or -1.
    int Plug(const std::vector<std::string>& args = {});
    bool Unplug(int number) { return units.Unplug(number); }
    // Every packet the units received and sent, one capture line each.
    std::string Capture() const;
    // knot-fdt's command line, run in this process over the units (or over `ports` when set), as
    // a shell would split `arguments` ("quoted" words, "< FILE" for standard input).
    ToolRun RunTool(const std::string& arguments);
    const std::string Root() const { return scratch.path().string(); }

    LoopbackDriverPort units;
    DriverPortFactory ports; // empty: the units above

  private:
    ScratchFolder scratch;
    std::filesystem::path m_previous;
};

// knot-fdt as a process: each test gets its own simulator, and runs in the simulator's scratch
// folder.
class SimProcessTest : public ::testing::Test {
  protected:
    void SetUp() override {
        server = std::make_unique<SimServerProcess>(
            std::vector<std::string>{"--save-memory", "{root}", "--capture", "{root}/capture.txt"});
        ASSERT_TRUE(server->Ready());
        setenv("KNOT_SIM_DIR", server->Directory().c_str(), 1);
        m_previous = std::filesystem::current_path();
        std::filesystem::current_path(server->Root());
    }
    void TearDown() override {
        std::filesystem::current_path(m_previous);
        server.reset();
        unsetenv("KNOT_SIM_DIR");
    }
    std::string Capture() { return Slurp(server->Root() + "/capture.txt"); }

    std::unique_ptr<SimServerProcess> server;

  private:
    std::filesystem::path m_previous;
};

} // namespace knot_cli_test
