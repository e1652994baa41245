// The real KNOT-Station.exe against units of knot-unit-sim.exe behind the test driver, read from
// outside. Started by the kiosk command line, it takes a unit plugged in before it and one plugged
// in while it runs, each in its slot, and appends a record per unit with its slot (the records are
// checked against the record's schema after the suite); closed while a unit waits after its
// commit, it stays open until the wait is over and the unit is written. Needs the Wine prefix of
// the driver tests and a display. KNOT_STATION_EXE names another build's program to run instead
// (the 32-bit one).
#include "knot_names.h"

#include "remote_program.h"
#include "station_resource_ids.h"
#include "unit_sim_control.h"
#include "variant_profile.h"
#include "win32_text.h"
#include "window_test_support.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::chrono::milliseconds kWait{60000};
constexpr std::chrono::milliseconds kCloseBound{5000};
constexpr int kMessageBoxTextId = 0xFFFF; // a message box's text

const wchar_t* ProgramPath() {
    const wchar_t* other = _wgetenv(L"KNOT_STATION_EXE");
    return other != nullptr && *other != L'\0' ? other : KNOT_STATION_PATH;
}

std::vector<nlohmann::json> Records(const std::string& report) {
    std::vector<nlohmann::json> records;
    std::ifstream in(report);
    for (std::string line; std::getline(in, line);) {
        records.push_back(nlohmann::json::parse(line));
    }
    return records;
}

// What the station's tiles say, slot first ("BENCH-A: PASS — unplug it").
std::vector<std::string> TileTexts(HWND window) {
    std::vector<std::string> texts;
    for (int id = IDC_STATION_TILE; GetDlgItem(window, id) != nullptr; ++id) {
        wchar_t text[256] = L"";
        GetWindowTextW(GetDlgItem(window, id), text, 256);
        texts.push_back(NarrowText(text));
    }
    return texts;
}

bool TileSays(HWND window, const std::string& start, const std::string& part) {
    for (const std::string& text : TileTexts(window)) {
        if (text.rfind(start, 0) == 0 && text.find(part) != std::string::npos) {
            return true;
        }
    }
    return false;
}

class StationProgramTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* display = std::getenv("DISPLAY");
        if (display == nullptr || *display == '\0') {
            GTEST_SKIP() << "Wine shows windows only with a display (run under Xvfb)";
        }
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        std::filesystem::create_directories(KNOT_STATION_RECORDS);
        report = std::string(KNOT_STATION_RECORDS) + "\\" + test->name() + ".jsonl";
        std::filesystem::remove(report);
        ASSERT_TRUE(WriteSRecordFile(image.File("small.mot"), VariantQProfile(), 256, 256, 0));
        std::string said;
        ASSERT_TRUE(server.Start(said, "--capture \"" + capture + "\"")) << said;
    }

    // Whether unit `number` has received a packet (the simulator's capture says "2 R ...").
    bool Received(int number) const {
        std::ifstream in(capture);
        const std::string start = std::to_string(number) + " R ";
        for (std::string line; std::getline(in, line);) {
            if (line.rfind(start, 0) == 0) {
                return true;
            }
        }
        return false;
    }

    // The kiosk command line with a report and a commit wait of `waitMs`.
    std::wstring KioskLine(int waitMs) const {
        return WidenText("--model q --report \"" + report + "\" --commit-wait-ms " +
                         std::to_string(waitMs) + " \"" + image.File("small.mot") + "\"");
    }

    ScratchFolder image;
    std::string capture = image.File("capture.txt");
    std::string report;
    UnitSimServer server;
};

TEST_F(StationProgramTest, KioskWritesEachUnitAsItIsPluggedInAndRecordsItsSlot) {
    ASSERT_EQ(Plug("--number 1 --slot BENCH-A"), 1);
    RemoteProgram program(ProgramPath(), KioskLine(0));
    const HWND window = program.WaitForMainWindow(kWait, IDC_STATION_STATUS);
    ASSERT_NE(window, nullptr) << "no window shown";
    ASSERT_TRUE(program.WaitUntil([&] { return TileSays(window, "BENCH-A", "PASS"); }, kWait));

    ASSERT_EQ(Plug("--number 2 --slot BENCH-B"), 2);
    // From the unit's arrival (its plug command has returned) to the first packet it received.
    const auto arrived = Clock::now();
    ASSERT_TRUE(program.WaitUntil([&] { return Received(2); }, kWait));
    std::printf(
        "unit 2's first packet came %lld ms after it was plugged in\n",
        static_cast<long long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - arrived).count()));
    ASSERT_TRUE(program.WaitUntil([&] { return Records(report).size() == 2; }, kWait));
    std::map<std::string, std::string> results;
    for (const nlohmann::json& record : Records(report)) {
        results[record["slot"]] = record["result"];
    }
    EXPECT_EQ(results,
              (std::map<std::string, std::string>{{"BENCH-A", "written"}, {"BENCH-B", "written"}}));
    EXPECT_TRUE(program.WaitUntil([&] { return TileSays(window, "BENCH-B", "PASS"); }, kWait));

    PostMessageW(window, WM_CLOSE, 0, 0);
    DWORD status = 1;
    EXPECT_TRUE(program.WaitForEnd(kCloseBound, status)) << "still running after the close";
    EXPECT_EQ(status, 0u);
    EXPECT_TRUE(server.Stop());
}

TEST_F(StationProgramTest, ClosedDuringACommitWaitStaysUntilTheWaitIsOver) {
    ASSERT_EQ(Plug("--number 3 --slot BENCH-C"), 3);
    RemoteProgram program(ProgramPath(), KioskLine(8000));
    const HWND window = program.WaitForMainWindow(kWait, IDC_STATION_STATUS);
    ASSERT_NE(window, nullptr) << "no window shown";
    ASSERT_TRUE(program.WaitUntil([&] { return TileSays(window, "BENCH-C", "committed"); }, kWait));

    SendMessageW(window, WM_CLOSE, 0, 0); // handled once it returns
    EXPECT_TRUE(IsWindowVisible(window)) << "closed while the unit writes its flash";
    wchar_t status[256] = L"";
    GetWindowTextW(GetDlgItem(window, IDC_STATION_STATUS), status, 256);
    EXPECT_NE(NarrowText(status).find("still writes its flash"), std::string::npos)
        << NarrowText(status);
    EXPECT_TRUE(Records(report).empty()) << "recorded before its wait was over";

    DWORD exitStatus = 1;
    ASSERT_TRUE(program.WaitForEnd(kWait, exitStatus)) << "still running after the wait";
    EXPECT_EQ(exitStatus, 0u);
    const std::vector<nlohmann::json> records = Records(report);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0]["slot"], "BENCH-C");
    EXPECT_EQ(records[0]["result"], "written");
    EXPECT_TRUE(server.Stop());
}

// A kiosk command line the station refuses: a message box says why, as knot-fdt station would,
// and the program ends with status 1 once it is closed, having taken no unit.
struct Refusal {
    const char* options;
    const char* file; // in the test's folder
    const char* said;
};

const Refusal kRefusals[] = {
    {"--model x", "small.mot", "--model: x not in {q,p}"},
    {"--model q", "notes.mot", "the image holds no data"},
    {"--model q --commit-wait-ms abc", "small.mot", "a whole number of milliseconds"},
    {"--model q", "missing.mot", "Could not read the S-Record file"},
};

TEST_F(StationProgramTest, RefusedKioskLineIsSaidInAMessageBoxAndEndsWithStatusOne) {
    std::ofstream(image.File("notes.mot")) << "not an S-Record\n";
    for (const Refusal& refusal : kRefusals) {
        const std::string arguments =
            std::string(refusal.options) + " \"" + image.File(refusal.file) + "\"";
        RemoteProgram program(ProgramPath(), WidenText(arguments));
        const HWND box = program.WaitForMainWindow(kWait, kMessageBoxTextId);
        ASSERT_NE(box, nullptr) << refusal.options << ": no message box";
        wchar_t text[1024] = L"";
        GetWindowTextW(GetDlgItem(box, kMessageBoxTextId), text, 1024);
        EXPECT_NE(NarrowText(text).find(refusal.said), std::string::npos)
            << refusal.options << ": " << NarrowText(text);
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        DWORD status = 0;
        EXPECT_TRUE(program.WaitForEnd(kCloseBound, status)) << refusal.options;
        EXPECT_EQ(status, 1u) << refusal.options;
    }
    EXPECT_TRUE(Records(report).empty());
}

} // namespace
