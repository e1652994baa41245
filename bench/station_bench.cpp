// A station's time from a unit's arrival to the first packet it sends the unit, over 20 arrivals
// one after another into a bench that keeps them all (median and longest), with the arrival
// poller's interval as it is: for knot-fdt station and, where the window programs are built, for
// the station window started by its kiosk command line (offscreen). The clock starts before
// "knot-unit-sim plug" is started, so the plug command's own start counts too; it stops when the
// server's capture shows the unit's first received packet. One unit is written before the clock
// runs, so that the program's own start is not counted.
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

// Plugs a unit and waits for its first packet and its record; the seconds from the plug to the
// first packet, or a negative number when the station did not write the unit. The units stay
// plugged in, as on a bench of many slots: a unit's number, and so its device path, is not
// used again while it is, so each arrival is a new unit to the station.
double OneArrival(SimServerProcess& server, const std::string& report, int records) {
    const std::string capture = server.Root() + "/capture.txt";
    const std::size_t before = ReadFile(capture).size();
    const Clock::time_point plugged = Clock::now();
    const int number = server.Plug();
    const std::string received = std::to_string(number) + " R ";
    const bool first = number >= 0 && PollUntil([&] {
                           return ReadFile(capture).find(received, before) != std::string::npos;
                       });
    const double elapsed = std::chrono::duration<double>(Clock::now() - plugged).count();
    if (!first || !PollUntil([&] { return Count(ReadFile(report), "\n") == records; })) {
        return -1.0;
    }
    return elapsed;
}

// The program to time: knot-fdt station (0) or the station window (1).
std::vector<std::string> StationCommand(int program, const std::string& root,
                                        const std::string& image) {
    std::vector<std::string> words = {KNOT_FDT_PATH, "station"};
#ifdef KNOT_STATION_PATH
    if (program == 1) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        words = {KNOT_STATION_PATH};
    }
#endif
    (void)program;
    for (const std::string& word :
         {std::string("--model"), std::string("p"), std::string("--commit-wait-ms"),
          std::string("0"), std::string("--report"), root + "/report.jsonl", image}) {
        words.push_back(word);
    }
    return words;
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
    const std::string report = root + "/report.jsonl";
    ChildSetup setup;
    setup.argv = StationCommand(static_cast<int>(state.range(0)), root, image);
    setup.out = root + "/station-out.txt";
    const pid_t station = SpawnChild(setup);
    if (station < 0 || OneArrival(server, report, 1) < 0) {
        state.SkipWithError("the station did not start");
        return;
    }

    std::vector<double> millis;
    int records = 1;
    for (auto _ : state) {
        const double elapsed = OneArrival(server, report, ++records);
        if (elapsed < 0) {
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
    ->ArgName("window")
    ->Arg(0)
#ifdef KNOT_STATION_PATH
    ->Arg(1)
#endif
    ->Iterations(ARRIVALS)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
