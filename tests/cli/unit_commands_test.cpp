// knot-fdt list, info, flash and initialize end to end: the real tool against a knot-unit-sim
// process, checking exit statuses, messages, the unit's saved memory against the "/FILE" dumps,
// the JSON reports, and Ctrl-C during a download.
#include "case_printer.h"
#include "run_tool.h"
#include "sim_server_process.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using knot_test::PrintTo;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Sample(char model) {
    return std::string(KNOT_SAMPLES_DIR) + "/knot-" + model + "-sample.mot";
}

// Lines of the server's capture in which the unit received a packet with `code` (4 hex digits).
int ReceivedWithCode(const std::string& capture, const char* code) {
    int count = 0;
    std::size_t start = 0;
    while (start < capture.size()) {
        std::size_t end = capture.find('\n', start);
        std::string line = capture.substr(start, end - start);
        std::size_t hex = line.find(" R ");
        if (hex != std::string::npos && line.compare(hex + 3 + 20, 4, code) == 0) {
            ++count;
        }
        start = end == std::string::npos ? capture.size() : end + 1;
    }
    return count;
}

// Each test gets its own simulator, and runs in the simulator's scratch folder.
class UnitCommandsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        server = std::make_unique<SimServerProcess>(
            std::vector<std::string>{"--save-memory", "{root}", "--capture", "{root}/capture.txt"});
        ASSERT_TRUE(server->Ready());
        setenv("KNOT_SIM_DIR", server->Directory().c_str(), 1);
        m_previous = fs::current_path();
        fs::current_path(server->Root());
    }
    void TearDown() override {
        fs::current_path(m_previous);
        server.reset();
        unsetenv("KNOT_SIM_DIR");
    }
    std::string Capture() { return Slurp(server->Root() + "/capture.txt"); }

    std::unique_ptr<SimServerProcess> server;

  private:
    fs::path m_previous;
};

class FlashSampleTest : public UnitCommandsTest, public ::testing::WithParamInterface<char> {};

TEST_P(FlashSampleTest, TheUnitHoldsWhatTheDumpsOfTheFileHold) {
    const char model = GetParam();
    ASSERT_EQ(server->Plug(), 0);
    const std::string modelArg = std::string("--model ") + model;
    ToolRun flash = RunTool("flash " + modelArg + " --commit-wait-ms 0 " + Quote(Sample(model)));
    ASSERT_EQ(flash.exitCode, 0) << flash.out << flash.err;
    EXPECT_NE(flash.out.find("The flash data was written to the device."), std::string::npos);
    EXPECT_NE(flash.out.find("SIMUNIT"), std::string::npos);

    ToolRun inspect = RunTool("inspect " + modelArg + " --json --dump " + Quote(Sample(model)));
    ASSERT_EQ(inspect.exitCode, 0) << inspect.err;
    auto report = nlohmann::json::parse(inspect.out);
    std::size_t flashBytes = report["flashBlocks"].get<std::size_t>() * 32;

    std::string cpuDump = Slurp("CPU_Mem.bin");
    std::string flashDump = Slurp("Flash_Mem.bin");
    std::string cpuUnit = Slurp("unit-0-cpu.bin");
    std::string flashUnit = Slurp("unit-0-flash.bin");
    ASSERT_EQ(cpuUnit.size(), 0x40000u);
    ASSERT_EQ(flashUnit.size(), 0x80000u);
    // Blank CPU blocks are not sent, and the unit's memory starts blank: all of it matches.
    EXPECT_TRUE(cpuUnit == cpuDump);
    EXPECT_EQ(flashUnit.substr(0, flashBytes), flashDump.substr(0, flashBytes));
    EXPECT_EQ(flashUnit.find_first_not_of('\0', flashBytes), std::string::npos)
        << "nothing beyond the extent was sent";
}

INSTANTIATE_TEST_SUITE_P(BothModels, FlashSampleTest, ::testing::Values('q', 'p'),
                         [](const auto& info) { return std::string(1, info.param); });

struct FailureCase {
    const char* name;
    std::vector<std::string> plug;
    std::string options;
    int exitCode;
    std::vector<std::string> errorTexts;
};

class FlashFailureTest : public UnitCommandsTest,
                         public ::testing::WithParamInterface<FailureCase> {};

TEST_P(FlashFailureTest, SaysWhatTheWindowSaysAndWhatItCannot) {
    const FailureCase& c = GetParam();
    ASSERT_EQ(server->Plug(c.plug), 0);
    ToolRun run = RunTool("flash --model q " + c.options + " " + Quote(Sample('q')));
    EXPECT_EQ(run.exitCode, c.exitCode) << run.out << run.err;
    for (const std::string& text : c.errorTexts) {
        EXPECT_NE(run.err.find(text), std::string::npos) << "missing: " << text << "\n" << run.err;
    }
    EXPECT_EQ(run.out.find("The flash data was written to the device."), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FlashFailureTest,
    ::testing::Values(FailureCase{"RefusedBlock",
                                  {"--fault", "refuse=flash:3"},
                                  "--commit-wait-ms 0",
                                  5,
                                  {"Failed in the download of the flash data.",
                                   "stage flash at block 3: the unit refused it"}},
                      FailureCase{"SilentUnit",
                                  {"--fault", "silent=flash:2"},
                                  "--commit-wait-ms 0",
                                  5,
                                  {"Failed in the download of the flash data.",
                                   "stage flash at block 2: the unit stopped answering"}},
                      FailureCase{"UnplugDuringTheWait",
                                  {"--fault", "unplug=wait:50"},
                                  "--commit-wait-ms 5000",
                                  5,
                                  {"Failed in the download of the flash data.",
                                   "stage wait: the unit was unplugged"}},
                      FailureCase{"RefusedPrepare",
                                  {"--fault", "refuse=prepare"},
                                  "",
                                  5,
                                  {"Failed in the download of the flash data.",
                                   "stage prepare: the unit refused it"}},
                      FailureCase{"SilentIdentityQuery",
                                  {"--fault", "silent=query:1"},
                                  "",
                                  4,
                                  {"did not answer its identity query"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(UnitCommandsTest, WithoutAUnitEveryUnitCommandExitsThree) {
    for (const std::string& command :
         {"flash --model q " + Quote(Sample('q')), std::string("info --model p"),
          std::string("initialize --model p")}) {
        ToolRun run = RunTool(command);
        EXPECT_EQ(run.exitCode, 3) << command;
        EXPECT_NE(run.err.find("no qualifying unit"), std::string::npos) << command;
    }
}

TEST_F(UnitCommandsTest, BadInputExitsWithItsOwnStatus) {
    ASSERT_EQ(server->Plug(), 0);
    std::ofstream("bad.mot") << "S1130000000102030405060708090A0B0C0DGG0F74\n";
    EXPECT_EQ(RunTool("flash --model q bad.mot").exitCode, 1);
    EXPECT_EQ(RunTool("flash --model q missing.mot").exitCode, 2);
    EXPECT_EQ(RunTool("flash --model x " + Quote(Sample('q'))).exitCode, 64);
    EXPECT_EQ(RunTool("flash --model q --commit-wait-ms -5 " + Quote(Sample('q'))).exitCode, 64);
    EXPECT_EQ(ReceivedWithCode(Capture(), "3F0F"), 0) << "no prepare for a file that failed";
}

TEST_F(UnitCommandsTest, FlashJsonReportsIdentityDigestBlocksAndStages) {
    ASSERT_EQ(server->Plug({"--program-name", "KNOTQ", "--version", "V2", "--checksum", "0A5F"}),
              0);
    ToolRun run = RunTool("flash --model q --json --commit-wait-ms 20 " + Quote(Sample('q')));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    auto report = nlohmann::json::parse(run.out);
    EXPECT_EQ(report["result"], "written");
    EXPECT_EQ(report["identity"]["Program Name"], "KNOTQ");
    EXPECT_EQ(report["identity"]["Version"], "V2");
    EXPECT_EQ(report["identity"]["Check SUM"], "0A5F");
    EXPECT_EQ(report["failure"], nullptr);
    EXPECT_EQ(report["exitCode"], 0);
    for (const char* stage : {"prepare", "cpu", "flash", "commit", "wait"}) {
        EXPECT_TRUE(report["stageSeconds"].contains(stage)) << stage;
    }
    EXPECT_GT(report["stageSeconds"]["wait"].get<double>(), 0.0);

    ToolRun inspect = RunTool("inspect --model q --json " + Quote(Sample('q')));
    auto loaded = nlohmann::json::parse(inspect.out);
    EXPECT_EQ(report["blocksSent"]["cpu"], loaded["cpuBlocks"]);
    EXPECT_EQ(report["blocksSent"]["flash"], loaded["flashBlocks"]);
    EXPECT_EQ(ReceivedWithCode(Capture(), "3F23"), loaded["flashBlocks"].get<int>());

    std::FILE* sum = popen(("sha256sum " + Quote(Sample('q'))).c_str(), "r");
    ASSERT_NE(sum, nullptr);
    char digest[65] = {};
    ASSERT_EQ(std::fread(digest, 1, 64, sum), 64u);
    pclose(sum);
    EXPECT_EQ(report["sha256"], digest);
}

TEST_F(UnitCommandsTest, FailureJsonNamesStageBlockAndCause) {
    ASSERT_EQ(server->Plug({"--fault", "refuse=cpu:2"}), 0);
    std::ofstream("two.mot") << "S1130000000102030405060708090A0B0C0D0E0F74\n"
                                "S1130020000102030405060708090A0B0C0D0E0F54\n";
    ToolRun run = RunTool("flash --model q --json two.mot");
    EXPECT_EQ(run.exitCode, 5);
    auto report = nlohmann::json::parse(run.out);
    EXPECT_EQ(report["result"], "failed");
    EXPECT_EQ(report["failure"]["stage"], "cpu");
    EXPECT_EQ(report["failure"]["block"], 2);
    EXPECT_EQ(report["failure"]["cause"], "refused");
    EXPECT_EQ(report["message"], "Failed in the download of the flash data.");
    EXPECT_EQ(ReceivedWithCode(Capture(), "3F80"), 0) << "no commit after a failure";
}

TEST_F(UnitCommandsTest, InfoPrintsTheThreeRowsOfEitherModel) {
    ASSERT_EQ(server->Plug({"--program-name", "ABC", "--version", "1.2.3", "--checksum", "005A",
                            "--packet-size", "62"}),
              0);
    for (const char* model : {"q", "p"}) {
        ToolRun run = RunTool(std::string("info --model ") + model + " --json");
        ASSERT_EQ(run.exitCode, 0) << run.err;
        auto report = nlohmann::json::parse(run.out);
        EXPECT_EQ(report["identity"]["Program Name"], "ABC");
        EXPECT_EQ(report["identity"]["Version"], "1.2.3");
        EXPECT_EQ(report["identity"]["Check SUM"], "005A");
        EXPECT_EQ(report["packetSize"], 62);
        EXPECT_EQ(report["deviceNumber"], 0);
    }
    // The queries of each model carry that model's codes.
    EXPECT_EQ(ReceivedWithCode(Capture(), "0833"), 1);
    EXPECT_EQ(ReceivedWithCode(Capture(), "0823"), 1);
    ToolRun text = RunTool("info --model q");
    EXPECT_NE(text.out.find("Check SUM     005A"), std::string::npos) << text.out;
}

TEST_F(UnitCommandsTest, InitializeBelongsToModelPOnly) {
    ASSERT_EQ(server->Plug(), 0);
    ToolRun q = RunTool("initialize --model q");
    EXPECT_EQ(q.exitCode, 64);
    EXPECT_NE(q.err.find("has no initialize command"), std::string::npos);
    EXPECT_EQ(ReceivedWithCode(Capture(), "01D2"), 0);

    ToolRun p = RunTool("initialize --model p");
    EXPECT_EQ(p.exitCode, 0) << p.err;
    EXPECT_NE(p.out.find("Succeeded in the initialization of the setting data."),
              std::string::npos);
    EXPECT_EQ(ReceivedWithCode(Capture(), "01D2"), 1);
}

TEST_F(UnitCommandsTest, RefusedInitializeExitsFour) {
    ASSERT_EQ(server->Plug({"--fault", "refuse=initialize"}), 0);
    ToolRun run = RunTool("initialize --model p");
    EXPECT_EQ(run.exitCode, 4);
    EXPECT_NE(run.err.find("Failed in the initialization of the setting data."), std::string::npos);
}

TEST_F(UnitCommandsTest, ListShowsEveryInterfaceAndWhetherItQualifies) {
    ASSERT_EQ(server->Plug({"--product", "0x1111"}), 0);
    ASSERT_EQ(server->Plug({"--packet-size", "62", "--number", "5"}), 5);
    ToolRun run = RunTool("list --json");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    auto units = nlohmann::json::parse(run.out);
    ASSERT_EQ(units.size(), 2u);
    EXPECT_EQ(units[0]["index"], 0);
    EXPECT_EQ(units[0]["productId"], "0x1111");
    EXPECT_EQ(units[0]["qualifies"], false);
    EXPECT_EQ(units[1]["vendorId"], "0x0ABC");
    EXPECT_EQ(units[1]["productId"], "0x7832");
    EXPECT_EQ(units[1]["qualifies"], true);
    EXPECT_EQ(units[1]["packetSize"], 62);
    EXPECT_EQ(units[1]["deviceNumber"], 5);
    EXPECT_NE(units[1]["devicePath"].get<std::string>().find("#00002#"), std::string::npos);
}

// Starts knot-fdt with `args`, its output into files in the current folder.
pid_t StartTool(const std::vector<std::string>& args) {
    std::vector<std::string> words = {KNOT_FDT_PATH};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "tool-out.txt", O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, "tool-err.txt", O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Waits for `pid` up to `deadline`; its exit status, or -1 (and then it is killed).
int WaitForExit(pid_t pid, std::chrono::seconds deadline) {
    auto until = Clock::now() + deadline;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (Clock::now() > until) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(UnitCommandsTest, CtrlCStopsBetweenTwoBlocksWithoutACommit) {
    // Answers come slowly, so that the download is surely still in its blocks.
    server.reset();
    server = std::make_unique<SimServerProcess>(
        std::vector<std::string>{"--capture", "{root}/capture.txt", "--latency-us", "2000"});
    ASSERT_TRUE(server->Ready());
    setenv("KNOT_SIM_DIR", server->Directory().c_str(), 1);
    fs::current_path(server->Root());
    ASSERT_EQ(server->Plug(), 0);

    pid_t tool = StartTool({"flash", "--model", "q", "--commit-wait-ms", "0", Sample('q')});
    ASSERT_GT(tool, 0);
    // Whatever happens below, no tool is left running.
    std::shared_ptr<void> reaper(nullptr, [tool](void*) {
        if (waitpid(tool, nullptr, WNOHANG) == 0) {
            kill(tool, SIGKILL);
            waitpid(tool, nullptr, 0);
        }
    });
    auto until = Clock::now() + std::chrono::seconds(20);
    while (ReceivedWithCode(Capture(), "3F23") < 5 && Clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_GE(ReceivedWithCode(Capture(), "3F23"), 5);
    kill(tool, SIGINT);
    EXPECT_EQ(WaitForExit(tool, std::chrono::seconds(20)), 130);
    EXPECT_EQ(ReceivedWithCode(Capture(), "3F80"), 0) << "no commit was sent";
    EXPECT_NE(Slurp("tool-err.txt").find("no commit was sent"), std::string::npos);
}

} // namespace
