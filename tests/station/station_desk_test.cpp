// The station window's logic without a window: each tile state from a lane's facts (a table), and
// a station over in-process units in three slots, one of which refuses a block: three records
// with their slots, and the tiles and lines the window shows.
#include "knot_names.h"

#include "case_printer.h"
#include "scratch_folder.h"

#include "fault_spec.h"
#include "forwarding_driver_port.h"
#include "loopback_driver_port.h"
#include "srecord_writer.h"
#include "station_desk.h"
#include "transfer_log.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <fstream>
#include <map>
#include <thread>

namespace {

using knot_test::PrintTo;

struct TileCase {
    const char* name;
    Stage stage;
    long done;
    long total;
    std::optional<ExitCode> ended;
    TileState state;
    TileColour colour;
    const char* headline;
    const char* detail;
};

const TileCase tileCases[] = {
    {"Reading", Stage::Idle, 0, 0, std::nullopt, TileState::Reading, TileColour::Working,
     "reading identity", ""},
    {"Preparing", Stage::Prepare, 0, 0, std::nullopt, TileState::Writing, TileColour::Working,
     "writing CPU 0 %", ""},
    {"WritingCpu", Stage::CpuBlocks, 4096, 8192, std::nullopt, TileState::Writing,
     TileColour::Working, "writing CPU 50 %", ""},
    {"WritingFlash", Stage::FlashBlocks, 3, 4, std::nullopt, TileState::Writing,
     TileColour::Working, "writing flash 75 %", ""},
    {"Committed", Stage::Wait, 100, 301, std::nullopt, TileState::Committed, TileColour::Hold,
     "committed — keep it plugged in", "3 s left"},
    {"Passed", Stage::Finished, 0, 0, ExitCode::Success, TileState::Passed, TileColour::Pass,
     "PASS — unplug it", ""},
    {"Failed", Stage::FlashBlocks, 2, 4, ExitCode::DownloadFailed, TileState::Failed,
     TileColour::Fail, "FAIL — unplug it", "how it ended"},
    {"NotAnswering", Stage::Idle, 0, 0, ExitCode::UnitRefused, TileState::Failed, TileColour::Fail,
     "FAIL — unplug it", "how it ended"},
    {"Stopped", Stage::CpuBlocks, 9, 8192, ExitCode::Interrupted, TileState::Stopped,
     TileColour::Fail, "STOPPED — unplug it", "how it ended"},
    {"Busy", Stage::Idle, 0, 0, ExitCode::UnitBusy, TileState::Busy, TileColour::Hold,
     "busy — another program writes it", "how it ended"},
};

class TileTest : public ::testing::TestWithParam<TileCase> {};

TEST_P(TileTest, ShowsTheStateInWordsAndColour) {
    const TileCase& c = GetParam();
    LaneFacts facts;
    facts.slot = "bay-1";
    facts.unit = 1;
    facts.stage = c.stage;
    facts.done = c.done;
    facts.total = c.total;
    facts.wait = {300, std::chrono::milliseconds(10)};
    facts.ended = c.ended;
    facts.resultLine = "how it ended";
    const Tile tile = TileOf(facts);
    EXPECT_EQ(tile.state, c.state);
    EXPECT_EQ(tile.colour, c.colour);
    EXPECT_EQ(tile.headline, c.headline);
    EXPECT_EQ(tile.detail, c.detail);
    EXPECT_EQ(tile.slot, "bay-1");
}

INSTANTIATE_TEST_SUITE_P(States, TileTest, ::testing::ValuesIn(tileCases),
                         [](const auto& info) { return std::string(info.param.name); });

// What the window was told last.
class RecordingStationView : public StationView {
  public:
    void ShowHeader(const StationHeader& shown) override { header = shown; }
    void ShowTile(std::size_t index, const Tile& tile) override {
        tiles.resize(std::max(tiles.size(), index + 1));
        tiles[index] = tile;
    }
    void ShowTally(const std::string& text) override { tally = text; }
    void ShowRecords(const std::vector<std::string>& lines) override { records = lines; }
    void ShowStatus(const std::string& text) override { status = text; }
    void EnableCommands(const StationCommands& shown) override { commands = shown; }
    void ShowMessage(const std::string& text, MessageIcon) override { messages.push_back(text); }
    void CloseWindow() override { closed = true; }

    StationHeader header;
    std::vector<Tile> tiles;
    std::string tally;
    std::vector<std::string> records;
    std::string status;
    StationCommands commands;
    std::vector<std::string> messages;
    bool closed = false;
};

struct DeskBench {
    DeskBench() {
        const std::vector<std::uint8_t> bytes(16, 0xA5);
        std::ofstream(folder.File("small.mot")) << FormatSRecord('1', 0, bytes) << "\n";
    }
    // Runs the station's rounds until `done` holds, at most 20 s.
    template <class Done> bool TickUntil(Done done) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!done() && std::chrono::steady_clock::now() < until) {
            desk.Tick();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return done();
    }

    ScratchFolder folder;
    TransferLog log{std::string(), std::string()};
    LoopbackDriverPort port;
    RecordingStationView view;
    StationDesk desk{view, [this] { return std::make_unique<ForwardingDriverPort>(port); }, log};
};

TEST(StationDeskTest, ThreeSlotsOneRefusedBlockThreeRecordsWithTheirSlots) {
    DeskBench bench;
    const std::string report = bench.folder.File("report.jsonl");
    ASSERT_TRUE(bench.desk.StartFromCommandLine({"KNOT-Station", "--model", "q", "--report", report,
                                                 "--operator", "Ann", "--commit-wait-ms", "0",
                                                 bench.folder.File("small.mot")}))
        << (bench.view.messages.empty() ? "" : bench.view.messages.back());
    EXPECT_TRUE(bench.desk.Kiosk());
    EXPECT_FALSE(bench.view.commands.open) << "a kiosk's image cannot be changed";
    EXPECT_EQ(bench.view.header.operatorName, "Ann");
    EXPECT_EQ(bench.view.header.shortSha.size(), 12u);
    for (int bay = 1; bay <= 3; ++bay) {
        UnitConfig unit;
        unit.slot = "bay-" + std::to_string(bay);
        if (bay == 2) {
            unit.faults.push_back(*ParseFaultSpec("refuse=cpu:1"));
        }
        bench.port.Plug(unit);
    }
    ASSERT_TRUE(bench.TickUntil([&] { return bench.view.records.size() == 3; }));
    std::map<std::string, std::string> headlines;
    for (const Tile& tile : bench.view.tiles) {
        headlines[tile.slot] = tile.headline;
    }
    EXPECT_EQ(headlines, (std::map<std::string, std::string>{{"bay-1", "PASS — unplug it"},
                                                             {"bay-2", "FAIL — unplug it"},
                                                             {"bay-3", "PASS — unplug it"}}));
    EXPECT_EQ(bench.view.tally, "2 passed, 1 failed, 0 interrupted, 0 in progress");
    EXPECT_TRUE(bench.desk.RequestClose()) << "no unit writes: the window closes at once";
    std::ifstream in(report);
    std::map<std::string, std::string> results;
    for (std::string line; std::getline(in, line);) {
        const nlohmann::json record = nlohmann::json::parse(line);
        results[record["slot"]] = record["result"];
        EXPECT_EQ(record["operator"], "Ann");
    }
    EXPECT_EQ(results, (std::map<std::string, std::string>{
                           {"bay-1", "written"}, {"bay-2", "failed"}, {"bay-3", "written"}}));
}

} // namespace
