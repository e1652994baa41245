// A bench on the line, end to end with real parts: knot-fdt station writes units of a
// knot-unit-sim process while the line's PostgreSQL is down, then up; each record reaches the
// table once, the metrics file counts what the records say, and an image the release manifest
// does not list for the model reaches no unit.
#include "knot_names.h"

#include "child_process.h"
#include "file_text.h"
#include "postgres_server.h"
#include "scratch_folder.h"
#include "sim_server_process.h"
#include "srecord_writer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sys/stat.h>
#include <thread>

namespace {
using namespace std::chrono_literals;

template <class Condition> bool Within(std::chrono::seconds deadline, Condition condition) {
    const auto until = std::chrono::steady_clock::now() + deadline;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > until) {
            return false;
        }
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

std::size_t LinesOf(const std::string& path) {
    const std::string text = ReadFile(path);
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

class LineStationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(sim.Ready());
        setenv("KNOT_SIM_DIR", sim.Directory().c_str(), 1);
        std::ofstream(Image()) << FormatSRecord('1', 0, std::vector<std::uint8_t>(16, 0x5A))
                               << "\n";
    }
    std::string Image() const { return folder.File("small.mot"); }
    pid_t Station(std::vector<std::string> options) {
        ChildSetup setup;
        setup.argv = {KNOT_FDT_PATH, "station", "--model", "p", "--commit-wait-ms", "0"};
        setup.argv.insert(setup.argv.end(), options.begin(), options.end());
        setup.argv.push_back(Image());
        setup.out = folder.File("station.out");
        setup.err = folder.File("station.err");
        return SpawnChild(setup);
    }

    ScratchFolder folder;
    SimServerProcess sim{{"--capture", "{root}/capture.txt"}};
};

TEST_F(LineStationTest, RecordsReachTheDatabaseOnceAndTheMetricsCountThem) {
    if (!PostgresServer::Missing().empty()) {
        GTEST_SKIP() << PostgresServer::Missing();
    }
    PostgresServer database(folder.path().string());
    const std::string odbc = folder.File("line.odbc");
    std::ofstream(odbc) << database.ConnectionString("postgres") << "\n";
    chmod(odbc.c_str(), 0600);
    const std::string report = folder.File("shift.jsonl");
    const std::string metrics = folder.File("bench.prom");
    // The database is down when the station starts: the units are written all the same.
    const pid_t station = Station({"--report", report, "--database", odbc, "--metrics", metrics});
    ASSERT_GT(station, 0);
    ASSERT_TRUE(Within(20s, [&] {
        return ReadFile(folder.File("station.out")).find("waiting") != std::string::npos;
    }));
    for (const std::vector<std::string>& plug :
         {std::vector<std::string>{}, {"--fault", "refuse=cpu:1"}, {}}) {
        ASSERT_GE(sim.Plug(plug), 0);
    }
    ASSERT_TRUE(Within(30s, [&] { return LinesOf(report) == 3; })) << ReadFile(report);
    EXPECT_TRUE(Within(20s, [&] {
        return ReadFile(folder.File("station.err")).find("database unreachable") !=
               std::string::npos;
    }));
    ASSERT_TRUE(database.Start());
    const std::string once = "3|3";
    EXPECT_TRUE(Within(60s, [&] {
        return database.Query("postgres", "SELECT count(*), count(DISTINCT record_id) FROM "
                                          "knot_flash_records") == once;
    }));
    EXPECT_EQ(database.Query("postgres",
                             "SELECT result, count(*) FROM knot_flash_records GROUP BY result "
                             "ORDER BY result"),
              "failed|1\nwritten|2");
    const std::string text = ReadFile(metrics);
    EXPECT_NE(text.find(R"(knot_station_units_total{model="p",result="written"} 2)"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(R"(knot_station_units_total{model="p",result="failed"} 1)"),
              std::string::npos)
        << text;
    kill(station, SIGINT);
    EXPECT_EQ(WaitChild(station, 20s), 130); // one run failed
}

TEST_F(LineStationTest, AnImageTheManifestDoesNotListReachesNoUnit) {
    const std::string manifest = folder.File("manifest.json");
    std::ofstream(manifest) << R"({"images": [{"model": "p", "sha256": ")" << std::string(64, 'a')
                            << R"(", "name": "app", "version": "1.0"}]})";
    ASSERT_GE(sim.Plug({}), 0);
    const pid_t station = Station({"--manifest", manifest});
    ASSERT_GT(station, 0);
    EXPECT_EQ(WaitChild(station, 20s), 7);
    EXPECT_NE(ReadFile(folder.File("station.err")).find("is not released for model p"),
              std::string::npos)
        << ReadFile(folder.File("station.err"));
    EXPECT_EQ(ReadFile(sim.Root() + "/capture.txt"), "") << "no packet reached the unit";
}

} // namespace
