// knot-fdt flash into 1 and into 8 simulated units at once (--latency-us 200), side by side in
// one run: the wall time of the whole run, knot-fdt's own CPU time (user + system) per block and
// lane, and its peak resident memory. The image fills both regions of model P: 8191 CPU blocks
// and 16384 flash blocks per lane. The commit wait is left out (--commit-wait-ms 0).
#include "knot_names.h"

#include "child_process.h"
#include "file_text.h"
#include "srecord_writer.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int MAX_LANES = 8;
constexpr const char* LATENCY_US = "200";
constexpr std::uint32_t CPU_END = 0x3FFE0; // a CPU record must end below 0x3FFFF
constexpr std::uint32_t FLASH_BASE = 0x800000;
constexpr std::uint32_t FLASH_END = 0x7FFE0; // the largest flash extent
constexpr std::size_t RECORD_BYTES = 32;
// The blocks each lane sends: every CPU block (none is blank), flash blocks 0 to extent / 32.
constexpr double BLOCKS_PER_LANE = CPU_END / 32.0 + FLASH_END / 32.0 + 1;

pid_t Spawn(const std::vector<std::string>& words, const std::string& output) {
    ChildSetup setup;
    setup.argv = words;
    setup.out = output;
    setup.err = "/dev/null";
    return SpawnChild(setup);
}

// Runs to the end; its exit status, and its resource use in `usage`.
int RunToEnd(const std::vector<std::string>& words, rusage& usage) {
    return WaitChild(Spawn(words, "/dev/null"), NO_DEADLINE, &usage);
}

// A simulator with MAX_LANES units plugged (both packet sizes) and the full image, for the
// whole program.
struct Bench {
    std::string root;
    std::string image;
    pid_t server = -1;
    bool ready = false;

    Bench() {
        char folder[] = "/tmp/knot-lanes-bench-XXXXXX";
        if (::mkdtemp(folder) == nullptr) {
            return;
        }
        root = folder;
        image = root + "/full-p.mot";
        std::ofstream out(image);
        std::vector<std::uint8_t> bytes(RECORD_BYTES);
        for (std::uint32_t address = 0; address < CPU_END; address += RECORD_BYTES) {
            for (std::size_t i = 0; i < bytes.size(); ++i) {
                bytes[i] = static_cast<std::uint8_t>(address / 7 + i);
            }
            out << FormatSRecord('2', address, bytes) << "\n";
        }
        for (std::uint32_t offset = 0; offset < FLASH_END; offset += RECORD_BYTES) {
            for (std::size_t i = 0; i < bytes.size(); ++i) {
                bytes[i] = static_cast<std::uint8_t>(offset / 5 + i);
            }
            out << FormatSRecord('3', FLASH_BASE + offset, bytes) << "\n";
        }
        out.close();
        setenv("KNOT_SIM_DIR", (root + "/rendezvous").c_str(), 1);
        server =
            Spawn({KNOT_UNIT_SIM_PATH, "serve", "--latency-us", LATENCY_US}, root + "/serve.txt");
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (ReadFile(root + "/serve.txt").find("serving") == std::string::npos) {
            if (std::chrono::steady_clock::now() > until) {
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        rusage ignored{};
        for (int number = 0; number < MAX_LANES; ++number) {
            std::vector<std::string> plug = {KNOT_UNIT_SIM_PATH, "plug"};
            if (number % 2 == 1) {
                plug.insert(plug.end(), {"--packet-size", "62"});
            }
            if (RunToEnd(plug, ignored) != 0) {
                return;
            }
        }
        ready = true;
    }
    ~Bench() {
        if (server > 0) {
            kill(server, SIGTERM);
            waitpid(server, nullptr, 0);
        }
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }
};

Bench& TheBench() {
    static Bench bench;
    return bench;
}

void BM_FlashFullImage(benchmark::State& state) {
    Bench& bench = TheBench();
    if (!bench.ready) {
        state.SkipWithError("the simulator did not start");
        return;
    }
    const auto lanes = static_cast<int>(state.range(0));
    std::vector<std::string> words = {KNOT_FDT_PATH,      "flash", "--model", "p", "--quiet",
                                      "--commit-wait-ms", "0"};
    if (lanes == 1) {
        words.insert(words.end(), {"--unit", "0"});
    } else {
        for (int number = 0; number < lanes; ++number) {
            words.insert(words.end(), {"--unit", std::to_string(number)});
        }
    }
    words.push_back(bench.image);
    double cpuSeconds = 0;
    double peakKiB = 0;
    for (auto _ : state) {
        rusage usage{};
        if (RunToEnd(words, usage) != 0) {
            state.SkipWithError("knot-fdt did not write every unit");
            return;
        }
        cpuSeconds += usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
                      usage.ru_stime.tv_usec / 1e6;
        peakKiB = std::max(peakKiB, static_cast<double>(usage.ru_maxrss));
    }
    const double runs = static_cast<double>(state.iterations());
    state.counters["cpu_us_per_block_per_lane"] =
        cpuSeconds / runs / (BLOCKS_PER_LANE * lanes) * 1e6;
    state.counters["peak_MiB"] = peakKiB / 1024.0;
    state.counters["blocks_per_lane"] = BLOCKS_PER_LANE;
}
BENCHMARK(BM_FlashFullImage)
    ->Arg(1)
    ->Arg(MAX_LANES)
    ->Iterations(2)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

} // namespace

BENCHMARK_MAIN();
