// knot-fdt station: the time from a unit's arrival to the first packet the station sends it,
// over 20 arrivals one after another (median and longest), with the arrival poller's interval
// as it is. The clock starts before "knot-unit-sim plug" is started, so the plug command's own
// start counts too; it stops when the server's capture shows the unit's first received packet.
#include "knot_names.h"

#include "child_process.h"
#include "file_text.h"
#include "sim_server_process.h"
#include "srecord_writer.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int ARRIVALS = 20;
constexpr std::chrono::seconds DEADLINE{30};

int Count(const std::string& text, const std::string& part) {
    int count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

// Polls `condition` every millisecond until it holds or the deadline passes.
template <typename Condition> bool PollUntil(Condition condition) {
    auto until = Clock::now() + DEADLINE;
    while (!condition()) {
        if (Clock::now() > until) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

void BM_ArrivalToFirstPacket(benchmark::State& state) {
    SimServerProcess server({"--capture", "{root}/capture.txt"});
    if (!server.Ready()) {
        state.SkipWithError("the simulator did not start");
        return;
    }
    const std::string root = server.Root();
    const std::string image = root + "/small.mot";
    {
        std::ofstream out(image);
        std::vector<std::uint8_t> bytes(16, 0x5A);
        out << FormatSRecord('1', 0x0, bytes) << "\n"
            << FormatSRecord('3', 0x800000, bytes) << "\n";
    }
    setenv("KNOT_SIM_DIR", server.Directory().c_str(), 1);
    std::vector<std::string> words = {
        KNOT_FDT_PATH,          "station", "--model", "p", "--commit-wait-ms", "0", "--report",
        root + "/report.jsonl", image};
    const std::string outPath = root + "/station-out.txt";
    ChildSetup setup;
    setup.argv = words;
    setup.out = outPath;
    const pid_t station = SpawnChild(setup);
    if (station < 0 || !PollUntil([&] {
            return ReadFile(outPath).find("waiting for units") != std::string::npos;
        })) {
        state.SkipWithError("the station did not start");
        return;
    }

    std::vector<double> millis;
    int runs = 0;
    for (auto _ : state) {
        const std::size_t before = ReadFile(root + "/capture.txt").size();
        const Clock::time_point plugged = Clock::now();
        const int number = server.Plug();
        const std::string received = std::to_string(number) + " R ";
        bool first =
            number >= 0 && PollUntil([&] {
                return ReadFile(root + "/capture.txt").find(received, before) != std::string::npos;
            });
        const double elapsed = std::chrono::duration<double>(Clock::now() - plugged).count();
        ++runs;
        const std::string gone = "unit " + std::to_string(number) + " unplugged";
        if (!first ||
            !PollUntil([&] { return Count(ReadFile(root + "/report.jsonl"), "\n") == runs; }) ||
            !server.Unplug(number) ||
            !PollUntil([&] { return Count(ReadFile(outPath), gone) == runs; })) {
            state.SkipWithError("the station did not write the unit once");
            break;
        }
        state.SetIterationTime(elapsed);
        millis.push_back(elapsed * 1000.0);
    }
    kill(station, SIGINT);
    WaitChild(station, DEADLINE);
    if (!millis.empty()) {
        std::sort(millis.begin(), millis.end());
        const std::size_t n = millis.size();
        state.counters["median_ms"] =
            n % 2 == 1 ? millis[n / 2] : (millis[n / 2 - 1] + millis[n / 2]) / 2.0;
        state.counters["max_ms"] = millis.back();
    }
}
BENCHMARK(BM_ArrivalToFirstPacket)
    ->Iterations(ARRIVALS)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
