// The line's costs: the time to ship a backlog of 10,000 records into a real PostgreSQL through
// psqlODBC; per run, the writer's Notify(), the follower's wake-up that ships the run's record,
// and the metrics file's rewrite.
#include "knot_names.h"

#include "line_records.h"
#include "metrics_file.h"
#include "postgres_server.h"
#include "record_id.h"
#include "record_shipper.h"
#include "scratch_folder.h"

#include <benchmark/benchmark.h>

#include <fstream>
#include <memory>

namespace {
using namespace std::chrono_literals;

constexpr int BACKLOG = 10000;

// One server for every benchmark of the program; a fresh database for each use.
struct LineDatabase {
    ScratchFolder folder;
    PostgresServer server{folder.path().string()};
    int databases = 0;

    // A new database's connection string; empty when the server cannot run.
    std::string Fresh() {
        if (!PostgresServer::Missing().empty() || !server.Start()) {
            return "";
        }
        const std::string name = "bench" + std::to_string(++databases);
        server.Query("postgres", "CREATE DATABASE " + name);
        return server.ConnectionString(name);
    }
};

LineDatabase& Database() {
    static LineDatabase database;
    return database;
}

void Append(const std::string& report, int count) {
    std::ofstream out(report, std::ios::binary | std::ios::app);
    for (int i = 0; i < count; ++i) {
        out << ShiftRecordLine(NewRecordId(), i) << '\n';
    }
}

void BM_ShipBacklogOfTenThousand(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        ScratchFolder folder;
        ShipperSettings settings;
        settings.reportPath = folder.File("shift.jsonl");
        settings.connection = Database().Fresh();
        if (settings.connection.empty()) {
            state.SkipWithError("no PostgreSQL server here");
            return;
        }
        Append(settings.reportPath, BACKLOG);
        RecordShipper shipper(settings, {});
        state.ResumeTiming();
        const ShipPass pass = shipper.ShipNow();
        if (pass.inserted != BACKLOG) {
            state.SkipWithError(pass.why.c_str());
            return;
        }
    }
    state.counters["records/s"] =
        benchmark::Counter(double(BACKLOG) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ShipBacklogOfTenThousand)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

// What a lane pays after appending its record: Notify() only, whatever the database does.
void BM_WriterNotify(benchmark::State& state) {
    ScratchFolder folder;
    ShipperSettings settings;
    settings.reportPath = folder.File("shift.jsonl");
    settings.connection = "DSN=knot-bench-none";
    std::ofstream(settings.reportPath).flush();
    RecordShipper shipper(settings, {});
    shipper.Start();
    for (auto _ : state) {
        shipper.Notify();
    }
}
BENCHMARK(BM_WriterNotify);

// The follower's wake-up for one run: from Notify() until the run's record is in the table.
void BM_WakeAndShipOneRecord(benchmark::State& state) {
    ScratchFolder folder;
    ShipperSettings settings;
    settings.reportPath = folder.File("shift.jsonl");
    settings.connection = Database().Fresh();
    if (settings.connection.empty()) {
        state.SkipWithError("no PostgreSQL server here");
        return;
    }
    RecordShipper shipper(settings, {});
    shipper.Start();
    for (auto _ : state) {
        state.PauseTiming();
        Append(settings.reportPath, 1);
        state.ResumeTiming();
        shipper.Notify();
        if (!shipper.WaitUntilShipped(std::chrono::steady_clock::now() + 30s)) {
            state.SkipWithError("the record was not shipped");
            return;
        }
    }
}
BENCHMARK(BM_WakeAndShipOneRecord)->Unit(benchmark::kMillisecond)->UseRealTime();

// The metrics after each run: count it and replace the file.
void BM_MetricsRewrite(benchmark::State& state) {
    ScratchFolder folder;
    StationMetrics metrics(folder.File("knot_station.prom"), {"p", "q"});
    metrics.SetBacklog(0);
    std::string why;
    int run = 0;
    for (auto _ : state) {
        metrics.RunStarted("p");
        metrics.RunFinished({"p", run % 7 == 6 ? "failed" : "written", run % 7 == 6 ? "flash" : "",
                             run % 7 == 6 ? "refused" : "", 63.5, 1796722121 + run});
        ++run;
        if (!metrics.Write(why)) {
            state.SkipWithError(why.c_str());
            return;
        }
    }
}
BENCHMARK(BM_MetricsRewrite)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
