// knot-fdt flash end to end over in-process units: the unit's saved memory against the "/FILE"
// dumps, what a failure says, the JSON report, and what flash refuses before it sends.
#include "knot_names.h"

#include "case_printer.h"
#include "record_log.h"
#include "unit_commands_rig.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace knot_cli_test;
using knot_test::ParseRecord;
using knot_test::PrintTo;
namespace fs = std::filesystem;

class FlashSampleTest : public UnitCommandsTest, public ::testing::WithParamInterface<char> {};

TEST_P(FlashSampleTest, TheUnitHoldsWhatTheDumpsOfTheFileHold) {
    const char model = GetParam();
    ASSERT_EQ(Plug(), 0);
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
    ASSERT_EQ(Plug(c.plug), 0);
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

TEST_F(UnitCommandsTest, FlashJsonReportsIdentityDigestBlocksAndStages) {
    ASSERT_EQ(Plug({"--program-name", "KNOTQ", "--version", "V2", "--checksum", "0A5F"}), 0);
    ToolRun run = RunTool("flash --model p --json --commit-wait-ms 20 " + Quote(Sample('p')));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    auto report = ParseRecord(run.out);
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
    ASSERT_EQ(Plug({"--fault", "refuse=cpu:2"}), 0);
    std::ofstream("two.mot") << "S1130000000102030405060708090A0B0C0D0E0F74\n"
                                "S1130020000102030405060708090A0B0C0D0E0F54\n";
    ToolRun run = RunTool("flash --model q --json two.mot");
    EXPECT_EQ(run.exitCode, 5);
    auto report = ParseRecord(run.out);
    EXPECT_EQ(report["result"], "failed");
    EXPECT_EQ(report["failure"]["stage"], "cpu");
    EXPECT_EQ(report["failure"]["block"], 2);
    EXPECT_EQ(report["failure"]["cause"], "refused");
    EXPECT_EQ(report["message"], "Failed in the download of the flash data.");
    EXPECT_EQ(ReceivedWithCode(Capture(), "3F80"), 0) << "no commit after a failure";
}

// What flash accepts and refuses before it sends anything, and which unit it then talks to.
struct GuardCase {
    const char* name;
    bool badChecksum;
    bool empty;
    std::string options;
    int exitCode;
    std::string errorText;
    int receivingUnit;           // -1: no unit receives anything
    std::string reportHeld = {}; // what REPORT_FILE holds before the run; "": no such file
};

// The report of the rows that find one already there.
constexpr const char* REPORT_FILE = "earlier.jsonl";

class FlashGuardTest : public UnitCommandsTest, public ::testing::WithParamInterface<GuardCase> {};

TEST_P(FlashGuardTest, RefusesBeforeSendingAndTalksOnlyToTheChosenUnit) {
    const GuardCase& c = GetParam();
    ASSERT_EQ(Plug(), 0);
    ASSERT_EQ(Plug({"--product", "0x1111"}), 1);
    ASSERT_EQ(Plug({"--packet-size", "62"}), 2);
    WriteSmallImage("image.mot", c.badChecksum, c.empty);
    if (!c.reportHeld.empty()) {
        std::ofstream(REPORT_FILE, std::ios::binary) << c.reportHeld;
    }
    ToolRun run = RunTool("flash --model p --commit-wait-ms 0 " + c.options + " image.mot");
    EXPECT_EQ(run.exitCode, c.exitCode) << run.out << run.err;
    EXPECT_NE(run.err.find(c.errorText), std::string::npos) << run.err;
    std::map<int, std::vector<std::string>> packets = PacketsByUnit(Capture());
    for (int number = 0; number < 3; ++number) {
        EXPECT_EQ(packets[number].empty(), number != c.receivingUnit) << "unit " << number;
    }
    if (!c.reportHeld.empty()) {
        // The earlier records byte for byte, then this run's, one line.
        const std::string report = Slurp(REPORT_FILE);
        ASSERT_EQ(report.substr(0, c.reportHeld.size()), c.reportHeld);
        const std::string added = report.substr(c.reportHeld.size());
        ASSERT_EQ(Count(added, "\n"), 1) << added;
        EXPECT_EQ(ParseRecord(added)["result"], "written");
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
        GuardCase{"UnitAndAll", false, false, "--unit 0 --all", 64, "", -1},
        GuardCase{"ReportHoldingRecords", false, false, "--unit 2 --report earlier.jsonl", 0, "", 2,
                  "{\"result\":\"failed\",\"deviceNumber\":1}\n{ \"result\": \"written\" }\n"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
