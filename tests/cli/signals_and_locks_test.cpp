// knot-fdt as a process: Ctrl-C during an exchange or between blocks, and one writer per unit
// (a second flash, a station or the window's own logic beside a held unit).
#include "knot_names.h"

#include "case_printer.h"
#include "unit_commands_rig.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "flash_transfer_controller.h"
#include "model_option.h"
#include "operator_texts.h"
#include "recording_view.h"
#include "sim_driver_port.h"
#include "transfer_log.h"

#include <csignal>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace {

using namespace knot_cli_test;
using knot_test::PrintTo;
namespace fs = std::filesystem;

TEST_F(SimProcessTest, BadInputExitsWithItsOwnStatus) {
    ASSERT_EQ(server->Plug(), 0);
    std::ofstream("bad.mot") << "S1130000000102030405060708090A0B0C0DGG0F74\n";
    EXPECT_EQ(RunTool("flash --model q bad.mot").exitCode, 1);
    EXPECT_EQ(RunTool("flash --model q missing.mot").exitCode, 2);
    EXPECT_EQ(RunTool("flash --model x " + Quote(Sample('q'))).exitCode, 64);
    EXPECT_EQ(RunTool("flash --model q --commit-wait-ms -5 " + Quote(Sample('q'))).exitCode, 64);
    EXPECT_EQ(ReceivedWithCode(Capture(), "3F0F"), 0) << "no prepare for a file that failed";
}

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

class InterruptTest : public SimProcessTest, public ::testing::WithParamInterface<InterruptCase> {};

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

// The window's logic over the machine's port, as KNOT-P_FDT runs it.
struct WindowRun {
    SimDriverPort port;
    RecordingView view;
    TransferLog log{std::string(), std::string()};
    FlashTransferController controller{ProfileForModel("p"), view, port, log, Quiet()};

    ~WindowRun() { controller.OnClose(); }
    static LogicServices Quiet() {
        LogicServices services;
        services.diagnostics = [](std::string_view) {};
        return services;
    }
    // The last of the message boxes the window would show.
    std::string LastMessage() const {
        return view.messages.empty() ? "" : view.messages.back().text;
    }
    // Handles posted messages until `done` holds (at most 20 s).
    bool Pump(const std::function<bool()>& done) {
        auto until = Clock::now() + std::chrono::seconds(20);
        while (!done() && Clock::now() < until) {
            if (auto next = view.queue.Next(std::chrono::milliseconds(10))) {
                controller.OnWindowMessage(next->message, next->wParam);
            }
        }
        return done();
    }
    // The unit found and read, and the image loaded.
    bool Open() {
        controller.InitializeLogic();
        controller.OnFileChosen("small.mot");
        return Pump([&] { return controller.DeviceReady(); });
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

class LockTest : public SimProcessTest, public ::testing::WithParamInterface<LockCase> {};

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
        ASSERT_TRUE(window->Pump([&] { return window->controller.Core().Report().commitSent; }));
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
        run.out = window->LastMessage();
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
