// knot-fdt list, info, flash and initialize end to end: the real tool against a knot-unit-sim
// process, checking exit statuses, messages, the unit's saved memory against the "/FILE" dumps,
// the JSON reports, and Ctrl-C during a download.
#include "case_printer.h"
#include "posted_message_queue.h"
#include "flash_transfer_controller.h"
#include "model_option.h"
#include "operator_texts.h"
#include "run_tool.h"
#include "sim_driver_port.h"
#include "sim_server_process.h"
#include "srecord_writer.h"
#include "transfer_log.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <spawn.h>
#include <sstream>
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

// The packets of the server's capture, by device number, without the number: "R|S HEX".
std::map<int, std::vector<std::string>> PacketsByUnit(const std::string& capture) {
    std::map<int, std::vector<std::string>> packets;
    std::size_t start = 0;
    while (start < capture.size()) {
        std::size_t end = capture.find('\n', start);
        std::string line = capture.substr(start, end - start);
        std::size_t space = line.find(' ');
        if (space != std::string::npos) {
            packets[std::stoi(line.substr(0, space))].push_back(line.substr(space + 1));
        }
        start = end == std::string::npos ? capture.size() : end + 1;
    }
    return packets;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        start = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

// A small model P image: two CPU blocks and five flash blocks. With `badChecksum` the last
// record's checksum is wrong; with `empty` it holds no data record at all.
void WriteSmallImage(const std::string& path, bool badChecksum = false, bool empty = false) {
    std::ofstream out(path, std::ios::binary);
    std::vector<std::uint8_t> bytes(16);
    out << FormatSRecord('0', 0, std::vector<std::uint8_t>{'s', 'm', 'a', 'l', 'l'}) << "\n";
    if (!empty) {
        for (std::uint32_t address : {0x0u, 0x20u}) {
            for (std::size_t i = 0; i < bytes.size(); ++i) {
                bytes[i] = static_cast<std::uint8_t>(address + i);
            }
            out << FormatSRecord('1', address, bytes) << "\n";
        }
        for (std::uint32_t address = 0x800000; address < 0x800080; address += 16) {
            for (std::size_t i = 0; i < bytes.size(); ++i) {
                bytes[i] = static_cast<std::uint8_t>(address * 3 + i);
            }
            std::string record = FormatSRecord('3', address, bytes);
            if (badChecksum && address == 0x800070) {
                record.back() = record.back() == '0' ? '1' : '0';
            }
            out << record << "\n";
        }
    }
    out << "S9030000FC\n";
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

// Under ThreadSanitizer the KNOT-Q sample's 8 000-odd exchanges take minutes and reach no code
// that the KNOT-P sample's 75 blocks do not.
#ifdef __SANITIZE_THREAD__
const char FLASHED_MODELS[] = {'p'};
#else
const char FLASHED_MODELS[] = {'q', 'p'};
#endif
INSTANTIATE_TEST_SUITE_P(BothModels, FlashSampleTest, ::testing::ValuesIn(FLASHED_MODELS),
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
    ToolRun run = RunTool("flash --model p " + c.options + " " + Quote(Sample('p')));
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
    ToolRun run = RunTool("flash --model p --json --commit-wait-ms 20 " + Quote(Sample('p')));
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

    ToolRun inspect = RunTool("inspect --model p --json " + Quote(Sample('p')));
    auto loaded = nlohmann::json::parse(inspect.out);
    EXPECT_EQ(report["blocksSent"]["cpu"], loaded["cpuBlocks"]);
    EXPECT_EQ(report["blocksSent"]["flash"], loaded["flashBlocks"]);
    EXPECT_EQ(ReceivedWithCode(Capture(), "3F22"), loaded["flashBlocks"].get<int>());

    std::FILE* sum = popen(("sha256sum " + Quote(Sample('p'))).c_str(), "r");
    ASSERT_NE(sum, nullptr);
    char digest[65] = {};
    ASSERT_EQ(std::fread(digest, 1, 64, sum), 64u);
    pclose(sum);
    EXPECT_EQ(report["sha256"], digest);
    EXPECT_EQ(loaded["sha256"], digest);
    ToolRun piped = RunTool("inspect --model p --json - < " + Quote(Sample('p')));
    EXPECT_EQ(nlohmann::json::parse(piped.out)["sha256"], digest) << "of the bytes read";
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

// Starts knot-fdt with `args`, its output into NAME-out.txt and NAME-err.txt in the current
// folder; with `closedOut` its standard output is a pipe whose reader has gone.
pid_t StartTool(const std::vector<std::string>& args, const std::string& name = "tool",
                bool closedOut = false) {
    std::vector<std::string> words = {KNOT_FDT_PATH};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    int ends[2] = {-1, -1};
    if (closedOut && ::pipe2(ends, O_CLOEXEC) == 0) {
        posix_spawn_file_actions_adddup2(&actions, ends[1], 1);
    } else {
        posix_spawn_file_actions_addopen(&actions, 1, (name + "-out.txt").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    posix_spawn_file_actions_addopen(&actions, 2, (name + "-err.txt").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    for (int end : ends) {
        if (end >= 0) {
            ::close(end);
        }
    }
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

// Eight units of both packet sizes flashed at once, one of them faulted at one stage: only that
// lane fails, its record says where, and every other unit receives exactly what it receives when
// flashed alone.
struct LaneCase {
    const char* name;
    std::string fault;
    std::string result;
    std::string stage;
    int block;
    std::string cause;
};

class FlashAllTest : public UnitCommandsTest, public ::testing::WithParamInterface<LaneCase> {};

constexpr int LANE_UNITS = 8;
constexpr int FAULTED_UNIT = 5;

TEST_P(FlashAllTest, OnlyTheFaultedLaneFailsAndTheOthersSendWhatOneUnitAloneSends) {
    const LaneCase& c = GetParam();
    WriteSmallImage("small.mot");
    const std::string flash = "flash --model p --commit-wait-ms 200 ";
    // Alone: one unit of each packet size.
    ASSERT_EQ(server->Plug(), 0);
    ASSERT_EQ(server->Plug({"--packet-size", "62"}), 1);
    for (const char* unit : {"0", "1"}) {
        ToolRun alone = RunTool(flash + "--unit " + unit + " small.mot");
        ASSERT_EQ(alone.exitCode, 0) << alone.out << alone.err;
    }
    std::map<int, std::vector<std::string>> alone = PacketsByUnit(Capture());
    const std::size_t before = Capture().size();
    for (int number = 2; number < LANE_UNITS; ++number) {
        std::vector<std::string> plug;
        if (number % 2 == 1) {
            plug = {"--packet-size", "62"};
        }
        if (number == FAULTED_UNIT) {
            plug.insert(plug.end(), {"--fault", c.fault});
        }
        ASSERT_EQ(server->Plug(plug), number);
    }

    ToolRun run = RunTool(flash + "--all --json --report report.jsonl small.mot");
    EXPECT_EQ(run.exitCode, 5) << run.out << run.err;
    std::vector<std::string> lines = Lines(run.out);
    ASSERT_EQ(lines.size(), LANE_UNITS + 1u) << run.out;
    auto summary = nlohmann::json::parse(lines.back());
    EXPECT_EQ(summary["written"], LANE_UNITS - 1);
    EXPECT_EQ(summary["failed"], 1);
    EXPECT_EQ(summary["exitCode"], 5);
    std::set<int> seen;
    for (int i = 0; i < LANE_UNITS; ++i) {
        auto record = nlohmann::json::parse(lines[i]);
        int number = record["deviceNumber"];
        seen.insert(number);
        if (number == FAULTED_UNIT) {
            EXPECT_EQ(record["result"], c.result);
            EXPECT_EQ(record["failure"]["stage"], c.stage);
            EXPECT_EQ(record["failure"]["block"], c.block);
            EXPECT_EQ(record["failure"]["cause"], c.cause);
        } else {
            EXPECT_EQ(record["result"], "written") << lines[i];
            EXPECT_EQ(record["failure"], nullptr);
        }
    }
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(LANE_UNITS));
    // The report holds the same records, one line each, whole.
    std::vector<std::string> reported = Lines(Slurp("report.jsonl"));
    lines.pop_back();
    EXPECT_EQ(std::multiset<std::string>(reported.begin(), reported.end()),
              std::multiset<std::string>(lines.begin(), lines.end()));

    std::map<int, std::vector<std::string>> together = PacketsByUnit(Capture().substr(before));
    for (int number = 0; number < LANE_UNITS; ++number) {
        if (number != FAULTED_UNIT) {
            EXPECT_TRUE(together[number] == alone[number % 2]) << "unit " << number;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    OneFaultPerStage, FlashAllTest,
    ::testing::Values(
        LaneCase{"RefusedPrepare", "refuse=prepare", "failed", "prepare", 0, "refused"},
        LaneCase{"SilentIdentityQuery", "silent=query:1", "no-answer", "identity", 0, "no-answer"},
        LaneCase{"RefusedIdentityQuery", "refuse=query:1", "refused", "identity", 0, "refused"},
        LaneCase{"IdentityAnswersOfTheWrongSize", "wrongsize=70", "out-of-turn", "identity", 0,
                 "out-of-turn"},
        LaneCase{"UnpluggedDuringIdentityQuery", "unplug=query:1", "removed", "identity", 0,
                 "removed"},
        LaneCase{"RefusedCpuBlock", "refuse=cpu:2", "failed", "cpu", 2, "refused"},
        LaneCase{"SilentFlashBlock", "silent=flash:3", "failed", "flash", 3, "no-answer"},
        // The commit's answer is never read: a unit gone at its commit is seen in the wait.
        LaneCase{"UnpluggedAtTheCommit", "unplug=commit", "failed", "wait", 0, "unit-removed"},
        LaneCase{"UnpluggedDuringTheWait", "unplug=wait:50", "failed", "wait", 0, "unit-removed"}),
    [](const auto& info) { return std::string(info.param.name); });

// What flash accepts and refuses before it sends anything, and which unit it then talks to.
struct GuardCase {
    const char* name;
    bool badChecksum;
    bool empty;
    std::string options;
    int exitCode;
    std::string errorText;
    int receivingUnit; // -1: no unit receives anything
};

class FlashGuardTest : public UnitCommandsTest, public ::testing::WithParamInterface<GuardCase> {};

TEST_P(FlashGuardTest, RefusesBeforeSendingAndTalksOnlyToTheChosenUnit) {
    const GuardCase& c = GetParam();
    ASSERT_EQ(server->Plug(), 0);
    ASSERT_EQ(server->Plug({"--product", "0x1111"}), 1);
    ASSERT_EQ(server->Plug({"--packet-size", "62"}), 2);
    WriteSmallImage("image.mot", c.badChecksum, c.empty);
    ToolRun run = RunTool("flash --model p --commit-wait-ms 0 " + c.options + " image.mot");
    EXPECT_EQ(run.exitCode, c.exitCode) << run.out << run.err;
    EXPECT_NE(run.err.find(c.errorText), std::string::npos) << run.err;
    std::map<int, std::vector<std::string>> packets = PacketsByUnit(Capture());
    for (int number = 0; number < 3; ++number) {
        EXPECT_EQ(packets[number].empty(), number != c.receivingUnit) << "unit " << number;
    }
}

INSTANTIATE_TEST_SUITE_P(
    GuardRails, FlashGuardTest,
    ::testing::Values(
        GuardCase{"EmptyImage", false, true, "", 1, "the image holds no data", -1},
        GuardCase{"EmptyImageAllowed", false, true, "--allow-empty --unit 2", 0, "", 2},
        GuardCase{"BadChecksumRefused", true, false, "", 1, "record on line 11: refused", -1},
        GuardCase{"BadChecksumAllowed", true, false, "--allow-bad-checksums --unit 2", 0,
                  "wrong checksum in the record on line 11", 2},
        GuardCase{"BadChecksumStrict", true, false, "--strict", 1, "wrong checksum", -1},
        GuardCase{"ReportInAMissingFolder", false, false, "--report no/r.jsonl", 2,
                  "cannot open the report file no/r.jsonl: No such file or directory", -1},
        GuardCase{"AbsentUnit", false, false, "--unit 9", 3, "no unit with device number 9", -1},
        GuardCase{"ForeignUnit", false, false, "--unit 1", 3, "foreign product id 0x1111", -1},
        GuardCase{"FirstQualifyingUnit", false, false, "", 0, "", 0},
        GuardCase{"ImageFromStandardInput", false, false, "--unit 2 - <", 0, "", 2},
        GuardCase{"UnitAndAll", false, false, "--unit 0 --all", 64, "", -1}),
    [](const auto& info) { return std::string(info.param.name); });

// What the tools say when something is not as the operator expects.
struct MessageCase {
    const char* name;
    std::vector<std::string> plug; // empty: no unit; {"none"}: no simulator either; {"open"}: a
                                   // rendezvous folder that others may write
    std::string command;           // knot-fdt's arguments; "sim ..." runs knot-unit-sim
    int exitCode;
    std::vector<std::string> texts; // each in standard output or standard error
    std::vector<std::string> absent;
};

class MessageTest : public UnitCommandsTest, public ::testing::WithParamInterface<MessageCase> {};

TEST_P(MessageTest, SaysWhatHappenedAndWhatToDo) {
    const MessageCase& c = GetParam();
    WriteSmallImage("small.mot");
    if (c.plug == std::vector<std::string>{"none"}) {
        setenv("KNOT_SIM_DIR", (server->Root() + "/nobody-serves-here").c_str(), 1);
    } else if (c.plug == std::vector<std::string>{"open"}) {
        fs::create_directory("open");
        fs::permissions("open", fs::perms::all);
        setenv("KNOT_SIM_DIR", (server->Root() + "/open").c_str(), 1);
    } else if (!c.plug.empty()) {
        ASSERT_EQ(server->Plug(c.plug), 0);
    }
    ToolRun run;
    if (c.command.rfind("sim ", 0) == 0) {
        std::vector<std::string> args;
        std::istringstream words(c.command.substr(4));
        for (std::string word; words >> word;) {
            args.push_back(word);
        }
        CommandResult sim = RunSimCommand(args, server->Directory());
        run.exitCode = sim.exitCode;
        run.out = sim.output;
    } else {
        run = RunTool(c.command);
    }
    EXPECT_EQ(run.exitCode, c.exitCode) << run.out << run.err;
    for (const std::string& text : c.texts) {
        EXPECT_NE((run.out + run.err).find(text), std::string::npos) << "missing: " << text << "\n"
                                                                     << run.out << run.err;
    }
    for (const std::string& text : c.absent) {
        EXPECT_EQ((run.out + run.err).find(text), std::string::npos) << "present: " << text;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Messages, MessageTest,
    ::testing::Values(
        MessageCase{
            "MistypedCommand", {}, "flsh", 64, {"unknown command \"flsh\"", "\"flash\""}, {}},
        MessageCase{"WaitThatIsNoNumber",
                    {},
                    "flash --model p --commit-wait-ms abc small.mot",
                    64,
                    {"whole number of milliseconds", "\"abc\""},
                    {}},
        MessageCase{"NoSimulator",
                    {"none"},
                    "info --model p",
                    3,
                    {"no simulator answers at", "knot-unit-sim serve"},
                    {}},
        MessageCase{"SimulatorWithoutUnits",
                    {},
                    "flash --model p small.mot",
                    3,
                    {"has no unit plugged", "knot-unit-sim plug"},
                    {}},
        MessageCase{"UnpluggedDuringIdentityQuery",
                    {"--fault", "unplug=query:2"},
                    "info --model p",
                    4,
                    {"unplugged during its identity query", "Program Name  SIMUNIT"},
                    {}},
        MessageCase{"OneIdentityRowSilent",
                    {"--fault", "silent=query:3"},
                    "info --model p",
                    4,
                    {"Program Name  SIMUNIT", "Version       1.00", "did not answer"},
                    {}},
        MessageCase{"RefusedIdentityQueryInJson",
                    {"--fault", "refuse=query:1"},
                    "flash --model p --json small.mot",
                    4,
                    {"\"result\": \"refused\"", "the unit refused its identity query"},
                    {"was loaded"}},
        MessageCase{"IdentityAnswersOutOfTurn",
                    {"--fault", "wrongsize=70"},
                    "info --model p",
                    4,
                    {"kept answering its identity query out of turn"},
                    {}},
        MessageCase{"SimulatorHelp", {}, "sim serve --help", 0, {"usage: knot-unit-sim serve"}, {}},
        MessageCase{"RefusedFolder",
                    {"open"},
                    "list",
                    0,
                    {"refusing the rendezvous folder", "no unit interface is present"},
                    {"knot-unit-sim serve"}},
        MessageCase{"UsageErrorNamesTheProgram",
                    {},
                    "flash --model p --fast small.mot",
                    64,
                    {"knot-fdt: The following argument was not expected: --fast"},
                    {}},
        MessageCase{"ShortVersion", {}, "-V", 0, {"knot-fdt 1."}, {}},
        MessageCase{"LoadErrorNamesTheFileAndTheAddress",
                    {},
                    "flash --model p " + Sample('q'),
                    1,
                    {"knot-q-sample.mot, line 41: the flash record starts below the flash base "
                     "address (the record's address is 0x040000, the flash base 0x800000)"},
                    {}},
        MessageCase{"AllSaysWhatItSkips",
                    {"--product", "0x1111"},
                    "flash --model p --all small.mot",
                    3,
                    {"1 of 1 unit interfaces does not qualify and is skipped: unit 0: foreign "
                     "product id 0x1111"},
                    {}},
        MessageCase{"ListLeadsWithTheNumberThatUnitTakes",
                    {"--packet-size", "62"},
                    "list",
                    0,
                    {"number packet vendor product", "\n0      62     0x0ABC 0x7832  yes"},
                    {}}),
    [](const auto& info) { return std::string(info.param.name); });

// Ctrl-C while an exchange blocks, or while several lanes run: 130 once the exchange is over,
// and no lane that had not committed yet commits; after the commit, the operator is told to
// keep the unit plugged in.
struct InterruptCase {
    const char* name;
    std::vector<std::string> plug; // one unit each
    int units;
    std::vector<std::string> command;
    const char* latencyUs;    // how late the simulator sends each answer
    const char* receivedCode; // Ctrl-C once a unit received a packet with this code
    int receivedCount;
    int commits;           // commits the units received in all
    std::string errorText; // what standard error says
};

class InterruptTest : public UnitCommandsTest,
                      public ::testing::WithParamInterface<InterruptCase> {};

// Answers a little late; or late enough that Ctrl-C after a unit's first blocks finds the
// thousands of blocks of model Q's sample still minutes from the commit, however slow the machine.
constexpr const char* LATE = "2000";
constexpr const char* HOLDING = "20000";

TEST_P(InterruptTest, ExitsOneThirtyAndNoCommitFollowsIt) {
    const InterruptCase& c = GetParam();
    server.reset();
    server = std::make_unique<SimServerProcess>(
        std::vector<std::string>{"--capture", "{root}/capture.txt", "--latency-us", c.latencyUs});
    ASSERT_TRUE(server->Ready());
    setenv("KNOT_SIM_DIR", server->Directory().c_str(), 1);
    fs::current_path(server->Root());
    for (int number = 0; number < c.units; ++number) {
        ASSERT_EQ(server->Plug(c.plug), number);
    }
    pid_t tool = StartTool(c.command);
    ASSERT_GT(tool, 0);
    std::shared_ptr<void> reaper(nullptr, [tool](void*) {
        if (waitpid(tool, nullptr, WNOHANG) == 0) {
            kill(tool, SIGKILL);
            waitpid(tool, nullptr, 0);
        }
    });
    auto until = Clock::now() + std::chrono::seconds(20);
    while (ReceivedWithCode(Capture(), c.receivedCode) < c.receivedCount && Clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_GE(ReceivedWithCode(Capture(), c.receivedCode), c.receivedCount);
    kill(tool, SIGINT);
    EXPECT_EQ(WaitForExit(tool, std::chrono::seconds(20)), 130) << Slurp("tool-err.txt");
    EXPECT_EQ(ReceivedWithCode(Capture(), "3F80"), c.commits);
    EXPECT_NE(Slurp("tool-err.txt").find(c.errorText), std::string::npos) << Slurp("tool-err.txt");
}

INSTANTIATE_TEST_SUITE_P(
    CtrlC, InterruptTest,
    ::testing::Values(
        InterruptCase{"DuringASilentIdentityQuery",
                      {"--fault", "silent=query:1"},
                      1,
                      {"info", "--model", "p"},
                      LATE,
                      "0823",
                      1,
                      0,
                      "interrupted"},
        InterruptCase{"DuringASilentPrepare",
                      {"--fault", "silent=prepare"},
                      1,
                      {"flash", "--model", "p", "--commit-wait-ms", "0", Sample('p')},
                      LATE,
                      "3F0F",
                      1,
                      0,
                      "no commit was sent"},
        InterruptCase{"BetweenTwoBlocks",
                      {},
                      1,
                      {"flash", "--model", "q", "--commit-wait-ms", "0", Sample('q')},
                      HOLDING,
                      "3F13",
                      2,
                      0,
                      "no commit was sent"},
        InterruptCase{"WhileFourLanesSendBlocks",
                      {},
                      4,
                      {"flash", "--model", "q", "--all", "--commit-wait-ms", "0", Sample('q')},
                      HOLDING,
                      "3F13",
                      8,
                      0,
                      "no commit was sent"},
        InterruptCase{"DuringTheWait",
                      {},
                      1,
                      {"flash", "--model", "p", "--commit-wait-ms", "60000", Sample('p')},
                      LATE,
                      "3F80",
                      1,
                      1,
                      "the unit is still writing its flash, keep it plugged in for another"}),
    [](const auto& info) { return std::string(info.param.name); });

// One station session, step by step: each step plugs a unit (after unplugging one, where it
// says) and names the record its run must leave. Units are left plugged unless a step unplugs
// them: none of them may be written twice in one plug. (Stops during a run: StopTest.)
struct StationStep {
    const char* what;
    int unplug; // >= 0: unplug this unit first
    std::vector<std::string> plug;
    int number; // the unit the plug gets and the record names
    std::string result;
    std::string stage; // "" for no failure
    int block;
};

const std::vector<StationStep> STATION_SESSION = {
    {"first unit", -1, {}, 0, "written", "", 0},
    {"second unit, the first still plugged", -1, {}, 1, "written", "", 0},
    {"third unit", -1, {}, 2, "written", "", 0},
    {"second unit plugged again", 1, {}, 1, "written", "", 0},
    {"faulted unit", -1, {"--fault", "refuse=flash:3"}, 3, "failed", "flash", 3},
    {"unit removed mid-run", -1, {"--fault", "unplug=flash:2"}, 4, "failed", "flash", 2},
    {"the removed unit plugged again", -1, {}, 4, "written", "", 0},
};

// The commit wait of every run.
constexpr const char* STATION_WAIT_MS = "300";

int Count(const std::string& text, const std::string& part) {
    int count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::seconds deadline) {
    auto until = Clock::now() + deadline;
    while (!condition()) {
        if (Clock::now() > until) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

TEST_F(UnitCommandsTest, StationWritesEachUnitOncePerPlugAndTalliesEveryRun) {
    WriteSmallImage("small.mot");
    pid_t tool = StartTool({"station", "--model", "p", "--commit-wait-ms", STATION_WAIT_MS,
                            "--report", "report.jsonl", "small.mot"});
    ASSERT_GT(tool, 0);
    std::shared_ptr<void> reaper(nullptr, [tool](void*) {
        if (waitpid(tool, nullptr, WNOHANG) == 0) {
            kill(tool, SIGKILL);
            waitpid(tool, nullptr, 0);
        }
    });
    ASSERT_TRUE(WaitUntil(
        [] { return Slurp("tool-out.txt").find("waiting for units") != std::string::npos; },
        std::chrono::seconds(20)));
    std::map<int, int> plugs;
    for (std::size_t i = 0; i < STATION_SESSION.size(); ++i) {
        const StationStep& step = STATION_SESSION[i];
        if (step.unplug >= 0) {
            ASSERT_TRUE(server->Unplug(step.unplug)) << step.what;
        }
        if (plugs[step.number] > 0) {
            // The same device path again: the station must have seen it go first.
            const std::string gone = "unit " + std::to_string(step.number) + " unplugged";
            ASSERT_TRUE(
                WaitUntil([&] { return Count(Slurp("tool-out.txt"), gone) == plugs[step.number]; },
                          std::chrono::seconds(20)))
                << step.what;
        }
        ASSERT_EQ(server->Plug(step.plug), step.number) << step.what;
        ++plugs[step.number];
        ASSERT_TRUE(WaitUntil([&] { return Lines(Slurp("report.jsonl")).size() == i + 1; },
                              std::chrono::seconds(30)))
            << step.what << "\n"
            << Slurp("tool-out.txt") << Slurp("tool-err.txt");
    }
    kill(tool, SIGINT);
    // Two runs failed: 130 (0 only when every run ended written and none was interrupted).
    EXPECT_EQ(WaitForExit(tool, std::chrono::seconds(20)), 130) << Slurp("tool-err.txt");

    std::vector<std::string> records = Lines(Slurp("report.jsonl"));
    ASSERT_EQ(records.size(), STATION_SESSION.size()) << "a unit that stayed plugged ran again";
    for (std::size_t i = 0; i < records.size(); ++i) {
        const StationStep& step = STATION_SESSION[i];
        auto record = nlohmann::json::parse(records[i]);
        EXPECT_EQ(record["deviceNumber"], step.number) << step.what;
        EXPECT_EQ(record["result"], step.result) << step.what;
        EXPECT_EQ(record["commitSent"], step.result == "written") << step.what;
        if (step.stage.empty()) {
            EXPECT_EQ(record["failure"], nullptr) << step.what;
        } else {
            EXPECT_EQ(record["failure"]["stage"], step.stage) << step.what;
            EXPECT_EQ(record["failure"]["block"], step.block) << step.what;
        }
    }
    // One download per plug: every prepare the units received.
    std::map<int, std::vector<std::string>> packets = PacketsByUnit(Capture());
    for (const auto& [number, count] : plugs) {
        int prepares = 0;
        for (const std::string& packet : packets[number]) {
            prepares += packet.compare(0, 2, "R ") == 0 && packet.compare(2 + 20, 4, "3F0F") == 0;
        }
        EXPECT_EQ(prepares, count) << "unit " << number;
    }
    const std::string out = Slurp("tool-out.txt");
    EXPECT_NE(out.find("unit 3  SIMUNIT 1.00 0000  failed in stage flash at block 3: the unit "
                       "refused it"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("station ended: 5 passed, 2 failed, 0 interrupted, 0 in progress"),
              std::string::npos)
        << out;
}

// Stops while both units are in their wait after the commit, held there by a long wait: the
// first stop lets the wait go on, a second one records each unit as interrupted where it stands;
// a closed output ends nothing early. One record per unit, and 130.
struct StopCase {
    const char* name;
    std::vector<std::string> command;
    int first;
    int second; // 0: none
    bool closedOut;
};

class StopTest : public UnitCommandsTest, public ::testing::WithParamInterface<StopCase> {};

// Whether `pid` took every stop signal sent to it (none waits in its pending set).
bool SignalsTaken(pid_t pid) {
    std::istringstream status(Slurp("/proc/" + std::to_string(pid) + "/status"));
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("ShdPnd:", 0) == 0 && line.find_first_not_of("0\t", 7) != line.npos) {
            return false;
        }
    }
    return true;
}

TEST_P(StopTest, RecordsEveryUnitOnceAndEndsWithOneThirty) {
    const StopCase& c = GetParam();
    WriteSmallImage("small.mot");
    ASSERT_EQ(server->Plug(), 0);
    ASSERT_EQ(server->Plug(), 1);
    std::vector<std::string> args = c.command;
    args.insert(args.end(), {"--model", "p", "--commit-wait-ms", "600000", "--report",
                             "report.jsonl", "small.mot"});
    pid_t tool = StartTool(args, "tool", c.closedOut);
    ASSERT_GT(tool, 0);
    std::shared_ptr<void> reaper(nullptr, [tool](void*) { WaitForExit(tool, {}); });
    // What the station says before the second stop: both units must stay, and it stops.
    auto stopping = [&] {
        const std::string said = Slurp("tool-out.txt");
        return c.closedOut ? SignalsTaken(tool)
                           : Count(said, "  committed: keep it plugged in") == 2 &&
                                 Count(said, "stopping: units that committed finish") == 1;
    };
    ASSERT_TRUE(WaitUntil([&] { return ReceivedWithCode(Capture(), "3F80") == 2; },
                          std::chrono::seconds(20)));
    kill(tool, c.first);
    if (c.second != 0) {
        ASSERT_TRUE(WaitUntil(stopping, std::chrono::seconds(20))) << Slurp("tool-out.txt");
        kill(tool, c.second);
    }
    EXPECT_EQ(WaitForExit(tool, std::chrono::seconds(20)), 130) << Slurp("tool-err.txt");
    std::vector<std::string> records = Lines(Slurp("report.jsonl"));
    ASSERT_EQ(records.size(), 2u) << Slurp("report.jsonl");
    for (const std::string& line : records) {
        auto record = nlohmann::json::parse(line);
        EXPECT_EQ(record["result"], "interrupted") << line;
        EXPECT_EQ(record["failure"]["stage"], "wait") << line;
        EXPECT_EQ(record["commitSent"], true) << line;
    }
    if (!c.closedOut) {
        EXPECT_NE(Slurp("tool-out.txt").find("station ended: 0 passed, 0 failed, 2 interrupted"),
                  std::string::npos)
            << Slurp("tool-out.txt");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Signals, StopTest,
    ::testing::Values(StopCase{"StationCtrlCTwice", {"station"}, SIGINT, SIGINT, false},
                      StopCase{"StationSigtermTwice", {"station"}, SIGTERM, SIGTERM, false},
                      StopCase{"StationSighupThenCtrlC", {"station"}, SIGHUP, SIGINT, false},
                      StopCase{"StationClosedOutput", {"station"}, SIGINT, SIGINT, true},
                      StopCase{"FlashAllClosedOutput", {"flash", "--all"}, SIGINT, 0, true}),
    [](const auto& info) { return std::string(info.param.name); });

// The window's logic over the machine's port, as KNOT-P_FDT runs it.
struct WindowRun {
    SimDriverPort port;
    QueuedHost host;
    TransferLog log{std::string(), std::string()};
    FlashTransferController controller{ProfileForModel("p"), host, port, log};
    std::string lastMessage; // of the message boxes the window would show
    ScopedObserver heard{controller, [this](const LogicEvent& event) {
                             if (const auto* message = std::get_if<OperatorMessage>(&event)) {
                                 lastMessage = message->text;
                             }
                         }};

    ~WindowRun() { controller.OnClose(); }
    // Handles posted messages until `done` holds (at most 20 s).
    bool Pump(const std::function<bool()>& done) {
        auto until = Clock::now() + std::chrono::seconds(20);
        while (!done() && Clock::now() < until) {
            if (auto next = host.queue.Next(std::chrono::milliseconds(10))) {
                controller.OnWindowMessage(next->message, next->wParam);
            }
        }
        return done();
    }
    // The unit found and read, and the image loaded.
    bool Open() {
        controller.InitializeLogic();
        controller.Access().SetDiagnosticSink([](std::string_view) {});
        controller.OnFileChosen("small.mot");
        return Pump([&] { return controller.Session().DeviceReady(); });
    }
};

// Unit 0 held by a writer in its wait (a flash, a station, a window's Start, or a flash that
// died there) and a second writer: it sends unit 0 nothing and says the unit is busy.
struct LockCase {
    const char* name;
    std::vector<std::string> holder; // knot-fdt's command, or {"window"}
    bool holderDies;
    std::string second; // flash's options, or "window" (Start)
    int exitCode;
    std::vector<std::string> texts; // what the second says (or the window shows)
};

class LockTest : public UnitCommandsTest, public ::testing::WithParamInterface<LockCase> {};

TEST_P(LockTest, ASecondWriterSendsNothingAndSaysTheUnitIsBusy) {
    const LockCase& c = GetParam();
    WriteSmallImage("small.mot");
    ASSERT_EQ(server->Plug(), 0);
    std::unique_ptr<WindowRun> window;
    pid_t holder = -1;
    std::shared_ptr<void> reaper(nullptr, [&](void*) {
        if (holder > 0) {
            WaitForExit(holder, {});
        }
    });
    if (c.holder.front() == "window") {
        window = std::make_unique<WindowRun>();
        ASSERT_TRUE(window->Open());
        window->controller.OnStartDownload();
        ASSERT_TRUE(
            window->Pump([&] { return window->controller.Sequence().Report().commitSent; }));
    } else {
        std::vector<std::string> args = c.holder;
        args.insert(args.end(), {"--model", "p", "--commit-wait-ms", "600000", "small.mot"});
        holder = StartTool(args, "holder");
        ASSERT_TRUE(WaitUntil([&] { return ReceivedWithCode(Capture(), "3F80") == 1; },
                              std::chrono::seconds(20)));
    }
    if (c.holderDies) {
        WaitForExit(holder, {}); // killed in its wait
    }
    if (c.second.find("--all") != std::string::npos) {
        ASSERT_EQ(server->Plug(), 1);
    }
    std::size_t before = PacketsByUnit(Capture())[0].size();
    ToolRun run;
    if (c.second == "window") {
        window = std::make_unique<WindowRun>();
        ASSERT_TRUE(window->Open());
        before = PacketsByUnit(Capture())[0].size();
        window->controller.OnStartDownload();
        run.out = window->lastMessage;
        run.exitCode = window->controller.IsDownloadRunning() ? -1 : 0;
    } else {
        run = RunTool("flash --model p --commit-wait-ms 0 " + c.second + " small.mot");
    }
    EXPECT_EQ(run.exitCode, c.exitCode) << run.out << run.err;
    for (const std::string& text : c.texts) {
        EXPECT_NE((run.out + run.err).find(text), std::string::npos) << run.out << run.err;
    }
    EXPECT_EQ(PacketsByUnit(Capture())[0].size() > before, c.holderDies);
}

INSTANTIATE_TEST_SUITE_P(
    OneWriter, LockTest,
    ::testing::Values(
        LockCase{"TwoFlash", {"flash"}, false, "--unit 0", 6, {"unit 0 is busy: another program"}},
        LockCase{"StationThenFlash", {"station"}, false, "", 6, {"unit 0 is busy"}},
        LockCase{"WindowThenFlash", {"window"}, false, "--unit 0", 6, {"unit 0 is busy"}},
        LockCase{"FlashThenWindow", {"flash"}, false, "window", 0, {DOWNLOAD_FAILED_TEXT}},
        LockCase{"FlashAllBesideTheHeldUnit",
                 {"flash"},
                 false,
                 "--all --json",
                 5,
                 {R"("failure":{"stage":"lock","block":0,"cause":"busy"})",
                  R"("written":1,"failed":1)"}},
        LockCase{"DeadHolder", {"flash"}, true, "--unit 0", 0, {DOWNLOAD_DONE_TEXT}}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
