// knot-fdt info, initialize and list end to end, and what the tools say when something is not as
// the operator expects.
#include "knot_names.h"

#include "case_printer.h"
#include "record_log.h"
#include "unit_commands_rig.h"
#include "unit_driver_port.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace knot_cli_test;
using knot_test::PrintTo;
namespace fs = std::filesystem;

TEST_F(UnitCommandsTest, WithoutAUnitEveryUnitCommandExitsThree) {
    for (const std::string& command :
         {"flash --model q " + Quote(Sample('q')), std::string("info --model p"),
          std::string("initialize --model p")}) {
        ToolRun run = RunTool(command);
        EXPECT_EQ(run.exitCode, 3) << command;
        EXPECT_NE(run.err.find("no qualifying unit"), std::string::npos) << command;
    }
}

TEST_F(UnitCommandsTest, InfoPrintsTheThreeRowsOfEitherModel) {
    ASSERT_EQ(Plug({"--program-name", "ABC", "--version", "1.2.3", "--checksum", "005A",
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
    ASSERT_EQ(Plug(), 0);
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
    ASSERT_EQ(Plug({"--fault", "refuse=initialize"}), 0);
    ToolRun run = RunTool("initialize --model p");
    EXPECT_EQ(run.exitCode, 4);
    EXPECT_NE(run.err.find("Failed in the initialization of the setting data."), std::string::npos);
}

TEST_F(UnitCommandsTest, ListShowsEveryInterfaceAndWhetherItQualifies) {
    ASSERT_EQ(Plug({"--product", "0x1111"}), 0);
    ASSERT_EQ(Plug({"--packet-size", "62", "--number", "5"}), 5);
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

// What the tools say when something is not as the operator expects.
struct MessageCase {
    const char* name;
    std::vector<std::string> plug; // empty: no unit; {"none"}: no simulator either; {"open"}: a
                                   // rendezvous folder that others may write; {"served"}: a
                                   // simulator process without units
    std::string command;           // knot-fdt's arguments; "sim ..." runs knot-unit-sim
    int exitCode;
    std::vector<std::string> texts; // each in standard output or standard error
    std::vector<std::string> absent;
};

class MessageTest : public UnitCommandsTest, public ::testing::WithParamInterface<MessageCase> {};

TEST_P(MessageTest, SaysWhatHappenedAndWhatToDo) {
    const MessageCase& c = GetParam();
    WriteSmallImage("small.mot");
    // The machine's port, the simulator's, over a folder nobody serves, one others may write, or
    // a simulator process without units.
    std::shared_ptr<void> unset(nullptr, [](void*) { unsetenv("KNOT_SIM_DIR"); });
    std::unique_ptr<SimServerProcess> server;
    const std::string how = c.plug.empty() ? std::string() : c.plug.front();
    if (how == "none" || how == "open" || how == "served") {
        ports = CreateUnitDriverPort;
        setenv("KNOT_SIM_DIR", (Root() + "/" + how).c_str(), 1);
    }
    if (how == "served") {
        server = std::make_unique<SimServerProcess>();
        ASSERT_TRUE(server->Ready());
        setenv("KNOT_SIM_DIR", server->Directory().c_str(), 1);
    }
    if (c.plug == std::vector<std::string>{"open"}) {
        fs::create_directory("open");
        fs::permissions("open", fs::perms::all);
    } else if (!c.plug.empty() && !ports) {
        ASSERT_EQ(Plug(c.plug), 0);
    }
    ToolRun run;
    if (c.command.rfind("sim ", 0) == 0) {
        std::vector<std::string> args;
        std::istringstream words(c.command.substr(4));
        for (std::string word; words >> word;) {
            args.push_back(word);
        }
        CommandResult sim = RunSimCommand(args, Root());
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
                    {"served"},
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
                    {"\"result\": \"failed\"", "\"cause\": \"refused\"",
                     "the unit refused its identity query"},
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

// Paths and file names that are not UTF-8, with --json, a unit present: the documented status and
// one valid JSON answer, the bad bytes shown as U+FFFD; a run that writes leaves a valid record.
struct BadBytesCase {
    const char* name;
    std::string command;
    int exitCode;
    bool record; // the answer is the run's record, and the report holds it too
};

class BadBytesTest : public UnitCommandsTest, public ::testing::WithParamInterface<BadBytesCase> {};

TEST_P(BadBytesTest, EndWithTheirStatusAndOneValidJsonAnswer) {
    const BadBytesCase& c = GetParam();
    ASSERT_EQ(Plug(), 0);
    WriteSmallImage("small.mot");
    WriteSmallImage("im\xff.mot");
    ToolRun run = RunTool(c.command);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.out << run.err;
    const nlohmann::json answer = c.record ? knot_test::ParseRecord(run.out)
                                           : nlohmann::json::parse(run.out); // throws on bad JSON
    EXPECT_NE(answer.dump().find("\xEF\xBF\xBD"), std::string::npos) << run.out;
    EXPECT_TRUE(answer.is_object() && answer["exitCode"] == c.exitCode) << run.out;
    if (c.record) {
        EXPECT_EQ(knot_test::ParseRecord(Slurp("r.jsonl"))["file"], "im\xEF\xBF\xBD.mot");
    }
}

INSTANTIATE_TEST_SUITE_P(
    NotUtf8, BadBytesTest,
    ::testing::Values(
        BadBytesCase{"InfoPath", "info --model p --json --path 'bad\xff'", 3, false},
        BadBytesCase{"InitializePath", "initialize --model p --json --path 'bad\xff'", 3, false},
        BadBytesCase{"FlashPath", "flash --model p --json --path 'bad\xff' small.mot", 3, false},
        BadBytesCase{"FlashMissingFile", "flash --model p --json 'no\xff.mot'", 2, false},
        BadBytesCase{"StationMissingFile", "station --model p --json 'no\xff.mot'", 2, false},
        BadBytesCase{"ReportInAMissingFolder",
                     "flash --model p --json --report 'no\xff/r.jsonl' small.mot", 2, false},
        BadBytesCase{"FlashFileNamed",
                     "flash --model p --json --commit-wait-ms 0 --report r.jsonl 'im\xff.mot'", 0,
                     true}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
