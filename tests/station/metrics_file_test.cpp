// The metrics file as the line's tools read it: promtool finds nothing to say against it, and a
// real node_exporter's textfile collector serves counts equal to those of the runs' records.
#include "knot_names.h"

#include "child_process.h"
#include "file_text.h"
#include "line_records.h"
#include "local_port.h"
#include "metrics_file.h"
#include "scratch_folder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <csignal>
#include <filesystem>

namespace {
using namespace std::chrono_literals;
using ::testing::HasSubstr;

constexpr char PROMTOOL[] = "/usr/bin/promtool";
constexpr char NODE_EXPORTER[] = "/usr/bin/prometheus-node-exporter";

// The station's metrics after the runs of `records`, each begun and ended as a lane does.
void CountRuns(StationMetrics& metrics, const std::vector<nlohmann::json>& records) {
    for (const nlohmann::json& record : records) {
        metrics.RunStarted(record["model"]);
        const nlohmann::json& failure = record["failure"];
        double seconds = 0;
        for (const auto& [stage, value] : record["stageSeconds"].items()) {
            seconds += value.get<double>();
        }
        metrics.RunFinished({record["model"], record["result"],
                             failure.is_null() ? "" : failure["stage"].get<std::string>(),
                             failure.is_null() ? "" : failure["cause"].get<std::string>(), seconds,
                             1796722121});
    }
}

TEST(MetricsFileTest, PromtoolAndNodeExporterReadTheRecordsCounts) {
    for (const char* tool : {PROMTOOL, NODE_EXPORTER}) {
        if (!std::filesystem::exists(tool)) {
            GTEST_SKIP() << tool
                         << " is missing: install Debian's prometheus and "
                            "prometheus-node-exporter";
        }
    }
    ScratchFolder folder;
    std::vector<nlohmann::json> records;
    int counts[3] = {0, 0, 0};
    for (int i = 0; i < 40; ++i) {
        records.push_back(nlohmann::json::parse(ShiftRecordLine("id", i)));
        counts[0] += ShiftRunIs(i, "written"), counts[1] += ShiftRunIs(i, "failed");
        counts[2] += ShiftRunIs(i, "interrupted");
    }
    StationMetrics metrics(folder.File("knot_station.prom"), {"p", "q"});
    CountRuns(metrics, records);
    metrics.RunStarted("p");
    metrics.SetBacklog(12);
    std::string why;
    ASSERT_TRUE(metrics.Write(why)) << why;

    ChildSetup check;
    check.argv = {PROMTOOL, "check", "metrics"};
    check.in = folder.File("knot_station.prom");
    check.out = folder.File("promtool.out");
    check.errToOut = true;
    EXPECT_EQ(WaitChild(SpawnChild(check), 60s), 0) << ReadFile(check.out);
    EXPECT_EQ(ReadFile(check.out), "");

    const int port = FreeLocalPort();
    ChildSetup exporter;
    exporter.argv = {NODE_EXPORTER, "--web.listen-address=127.0.0.1:" + std::to_string(port),
                     "--collector.disable-defaults", "--collector.textfile",
                     "--collector.textfile.directory=" + folder.path().string()};
    exporter.out = "/dev/null";
    exporter.errToOut = true;
    exporter.dieWithParent = true;
    const pid_t pid = SpawnChild(exporter);
    const std::string served = HttpGet(port, "/metrics", 30s);
    ::kill(pid, SIGTERM);
    WaitChild(pid, 30s);
    EXPECT_THAT(served, HasSubstr("node_textfile_scrape_error 0"));
    const char* results[] = {"written", "failed", "interrupted"};
    for (int r = 0; r < 3; ++r) {
        EXPECT_THAT(served,
                    HasSubstr("knot_station_units_total{model=\"p\",result=\"" +
                              std::string(results[r]) + "\"} " + std::to_string(counts[r])));
        EXPECT_THAT(served, HasSubstr("knot_station_units_total{model=\"q\",result=\"" +
                                      std::string(results[r]) + "\"} 0"));
    }
    EXPECT_THAT(served, HasSubstr("knot_station_failures_total{cause=\"refused\",model=\"p\","
                                  "stage=\"flash\"} " +
                                  std::to_string(counts[1])));
    EXPECT_THAT(served, HasSubstr("knot_station_run_seconds_bucket{model=\"p\",result=\"written\","
                                  "le=\"60\"} 0"));
    EXPECT_THAT(served,
                HasSubstr("knot_station_run_seconds_count{model=\"p\",result=\"written\"} " +
                          std::to_string(counts[0])));
    EXPECT_THAT(served, HasSubstr("knot_station_units_in_progress{model=\"p\"} 1"));
    EXPECT_THAT(served, HasSubstr("knot_station_records_backlog 12"));
}

} // namespace
