// A station that runs all week: knot-fdt station against a knot-unit-sim process for 10,000
// plugs (16 bays plugged and unplugged in rounds, one plug in twenty with a unit that refuses a
// block), and what the station process holds as it goes: plugs per second, resident memory,
// open descriptors and threads after 10 %, 50 % and 100 % of the plugs. PLUGS in the environment
// runs another count (a quick look: PLUGS=500).
#include "knot_names.h"

#include "child_process.h"
#include "file_text.h"
#include "sim_server_process.h"
#include "sim_wire.h"
#include "srecord_writer.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int BAYS = 16;
constexpr int FAULT_EVERY = 20;
constexpr std::chrono::seconds DEADLINE{60};

// What the station process holds now.
struct Holding {
    double residentMb = 0;
    int descriptors = 0;
    int threads = 0;
};

Holding HoldingOf(pid_t pid) {
    Holding holding;
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        std::istringstream words(line);
        std::string key;
        long value = 0;
        words >> key >> value;
        if (key == "VmRSS:") {
            holding.residentMb = static_cast<double>(value) / 1024.0;
        } else if (key == "Threads:") {
            holding.threads = static_cast<int>(value);
        }
    }
    if (DIR* fds = opendir(("/proc/" + std::to_string(pid) + "/fd").c_str())) {
        while (const dirent* entry = readdir(fds)) {
            holding.descriptors += entry->d_name[0] != '.';
        }
        closedir(fds);
    }
    return holding;
}

// Lines in the file at `path` (the report's records).
std::size_t LinesIn(const std::string& path) {
    const std::string text = ReadFile(path);
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

template <typename Condition> bool WaitFor(Condition condition) {
    const auto until = Clock::now() + DEADLINE;
    while (!condition()) {
        if (Clock::now() > until) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

bool Control(const std::string& directory, const std::vector<std::string>& words,
             std::string* reply = nullptr) {
    bool ok = false;
    std::string answer;
    const bool sent = SimControlRequest(directory, words, ok, answer, 5000);
    if (reply != nullptr) {
        *reply = answer;
    }
    return sent && ok;
}

void BM_StationWeek(benchmark::State& state) {
    const char* asked = std::getenv("PLUGS");
    const int plugs = asked != nullptr ? std::atoi(asked) : 10000;
    SimServerProcess server;
    if (!server.Ready()) {
        state.SkipWithError("the simulator did not start");
        return;
    }
    const std::string root = server.Root();
    const std::string image = root + "/small.mot";
    std::ofstream(image) << FormatSRecord('1', 0x0, std::vector<std::uint8_t>(16, 0x5A)) << "\n"
                         << FormatSRecord('3', 0x800000, std::vector<std::uint8_t>(16, 0xA5))
                         << "\n";
    setenv("KNOT_SIM_DIR", server.Directory().c_str(), 1);
    ChildSetup setup;
    setup.argv = {KNOT_FDT_PATH,   "station", "--model", "p", "--commit-wait-ms", "0",
                  "--report",      root + "/report.jsonl", image};
    setup.out = root + "/station-out.txt";
    const pid_t station = SpawnChild(setup);
    if (station < 0 || !WaitFor([&] {
            return ReadFile(setup.out).find("waiting for units") != std::string::npos;
        })) {
        state.SkipWithError("the station did not start");
        return;
    }
    for (auto _ : state) {
        const Clock::time_point begin = Clock::now();
        int done = 0;
        for (int mark : {plugs / 10, plugs / 2, plugs}) {
            while (done < mark) {
                const int round = std::min(BAYS, mark - done);
                std::vector<std::string> numbers;
                for (int bay = 0; bay < round; ++bay) {
                    std::vector<std::string> plug = {"plug", "--slot", "bay-" + std::to_string(bay)};
                    if ((done + bay) % FAULT_EVERY == FAULT_EVERY - 1) {
                        plug.insert(plug.end(), {"--fault", "refuse=cpu:1"});
                    }
                    std::string number;
                    if (!Control(server.Directory(), plug, &number)) {
                        state.SkipWithError("a plug failed");
                        return;
                    }
                    numbers.push_back(number);
                }
                done += round;
                if (!WaitFor([&] { return LinesIn(root + "/report.jsonl") ==
                                          static_cast<std::size_t>(done); })) {
                    state.SkipWithError("the station did not write every unit once");
                    return;
                }
                for (const std::string& number : numbers) {
                    Control(server.Directory(), {"unplug", number});
                }
            }
            const Holding holding = HoldingOf(station);
            const std::string at = std::to_string(mark * 100 / plugs) + "%";
            state.counters["rss_mb_" + at] = holding.residentMb;
            state.counters["fds_" + at] = holding.descriptors;
            state.counters["threads_" + at] = holding.threads;
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - begin).count();
        state.SetIterationTime(seconds);
        state.counters["plugs_per_s"] = plugs / seconds;
    }
    kill(station, SIGINT);
    WaitChild(station, DEADLINE);
}
BENCHMARK(BM_StationWeek)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

} // namespace

BENCHMARK_MAIN();
