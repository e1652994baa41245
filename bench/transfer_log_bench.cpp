// What one trace line costs: appended to a current file of 4,999 lines that only this log
// wrote (the count is remembered), and after another writer touched it (the file is counted).
#include "knot_names.h"

#include "transfer_log.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <system_error>

namespace {

constexpr int START_LINES = 4999;
constexpr PortHandle SOME_HANDLE = 0x7C;
constexpr const char* SEND_MESSAGE = "[\x01]<1>";

class BenchFolder {
  public:
    BenchFolder() {
        std::random_device random;
        m_path =
            std::filesystem::temp_directory_path() / ("knot-log-bench-" + std::to_string(random()));
        std::filesystem::create_directories(m_path);
    }
    ~BenchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    std::string File(const char* name) const { return (m_path / name).string(); }

  private:
    std::filesystem::path m_path;
};

// The bytes of `count` trace lines as the log writes them.
std::string TraceLines(int count) {
    std::string line = "      7C,1165467890,     BinSendToDevice,[\x01]<1>\r\n";
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += line;
    }
    return text;
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// Steady state: every line goes through the remembered count, whatever the file's length.
// The file starts at 4,999 lines written by the log itself and rotates every 5,001 lines.
void BM_LineWithRememberedCount(benchmark::State& state) {
    BenchFolder folder;
    TransferLog log(folder.File("debugZu.txt"), folder.File("debugZu.1.txt"));
    for (int i = 0; i < START_LINES; ++i) {
        log.WriteTransferLog(SEND_OPERATION_NAME, SEND_MESSAGE, SOME_HANDLE);
    }
    for (auto _ : state) {
        log.WriteTransferLog(SEND_OPERATION_NAME, SEND_MESSAGE, SOME_HANDLE);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LineWithRememberedCount)->Unit(benchmark::kMicrosecond);

// The full count: before each line another writer puts back a file of 4,999 lines, so the log
// counts all of them again, as it would on every line without the remembered count.
void BM_LineWithFullCount(benchmark::State& state) {
    BenchFolder folder;
    const std::string current = folder.File("debugZu.txt");
    const std::string lines = TraceLines(START_LINES);
    TransferLog log(current, folder.File("debugZu.1.txt"));
    for (auto _ : state) {
        state.PauseTiming();
        WriteFile(current, lines);
        state.ResumeTiming();
        log.WriteTransferLog(SEND_OPERATION_NAME, SEND_MESSAGE, SOME_HANDLE);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LineWithFullCount)->Unit(benchmark::kMicrosecond);

// The count alone, for the ratio.
void BM_FullCountOf4999Lines(benchmark::State& state) {
    BenchFolder folder;
    const std::string current = folder.File("debugZu.txt");
    WriteFile(current, TraceLines(START_LINES));
    for (auto _ : state) {
        benchmark::DoNotOptimize(CountTransferLogLines(current));
    }
}
BENCHMARK(BM_FullCountOf4999Lines)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
