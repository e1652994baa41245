// Loads a full image of model P: every CPU and flash block filled by S2 and S3 records of 32
// data bytes with CRLF line ends (about 1.9 MB), and runs the whole "knot-fdt inspect" process
// on it against srec_info (Debian package srecord) on the same file. Linux only.
#include "knot_names.h"

#include "child_process.h"
#include "firmware_image.h"
#include "srecord_writer.h"
#include "variant_profile.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

// The CPU region's last byte and the flash region's last byte can never be loaded, so the last
// record of each region holds 31 bytes.
std::string FullImageText() {
    std::string text =
        FormatSRecord('0', 0, std::vector<std::uint8_t>{'b', 'e', 'n', 'c', 'h'}) + "\r\n";
    std::vector<std::uint8_t> data(DATA_BLOCK_SIZE);
    std::uint32_t state = 12345;
    auto fill = [&](std::size_t count) {
        data.resize(count);
        for (auto& byte : data) {
            state = state * 1664525u + 1013904223u;
            byte = static_cast<std::uint8_t>(state >> 24);
        }
    };
    for (std::uint32_t offset = 0; offset < CPU_REGION_SIZE; offset += DATA_BLOCK_SIZE) {
        fill(offset + DATA_BLOCK_SIZE == CPU_REGION_SIZE ? DATA_BLOCK_SIZE - 1 : DATA_BLOCK_SIZE);
        text += FormatSRecord('2', offset, data) + "\r\n";
    }
    const std::uint32_t flashBase = VariantPProfile().flashBase;
    for (std::uint32_t offset = 0; offset < FLASH_REGION_SIZE; offset += DATA_BLOCK_SIZE) {
        fill(offset + DATA_BLOCK_SIZE == FLASH_REGION_SIZE ? DATA_BLOCK_SIZE - 1 : DATA_BLOCK_SIZE);
        text += FormatSRecord('3', flashBase + offset, data) + "\r\n";
    }
    text += "S70500000000FA\r\n";
    return text;
}

const std::string& FullImagePath() {
    static const std::string path = [] {
        std::string p =
            (std::filesystem::temp_directory_path() / "knot-bench-full-image.mot").string();
        std::string text = FullImageText();
        std::FILE* file = std::fopen(p.c_str(), "wb");
        if (!file || std::fwrite(text.data(), 1, text.size(), file) != text.size() ||
            std::fclose(file) != 0) {
            std::fprintf(stderr, "cannot write %s\n", p.c_str());
            std::exit(1);
        }
        return p;
    }();
    return path;
}

void BM_LoadFullImage(benchmark::State& state) {
    const std::string& path = FullImagePath();
    auto image = std::make_unique<FirmwareImage>();
    for (auto _ : state) {
        LoadResult result = image->loadSRecordFile(path, false, VariantPProfile());
        benchmark::DoNotOptimize(result.kind);
    }
    if (!image->imageLoaded || image->FlashBlockCount() != 16384 ||
        image->CountCpuBlocksToSend() != CPU_BLOCK_COUNT) {
        state.SkipWithError("the full image did not load completely");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(std::filesystem::file_size(path)));
}
BENCHMARK(BM_LoadFullImage)->Unit(benchmark::kMillisecond);

// One run of a program: from its start to its end, and its own processor time (user and
// system), which the load of a shared machine stretches less than elapsed time.
struct RunTimes {
    double elapsed = -1; // negative when the program failed
    double processor = 0;
};

// Runs `setup`'s program once, started directly (no shell) with its output thrown away, so that
// the process start is part of the figure, as it is for anyone who runs the program.
RunTimes RunOnce(const ChildSetup& setup) {
    rusage usage{};
    const auto begin = std::chrono::steady_clock::now();
    if (WaitChild(SpawnChild(setup), NO_DEADLINE, &usage) != 0) {
        return {};
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - begin;
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return {elapsed.count(), seconds(usage.ru_utime) + seconds(usage.ru_stime)};
}

ChildSetup QuietChild(std::vector<std::string> words) {
    ChildSetup setup;
    setup.argv = std::move(words);
    setup.searchPath = true;
    setup.out = "/dev/null";
    setup.err = "/dev/null";
    return setup;
}

// The whole knot-fdt inspect process (start-up, one load of the file with its digest and address
// ranges, the report) against srec_info (Debian package srecord), which reads and checks every
// record of the same file. Each iteration runs both, in turns, so that both see the same
// machine. The time reported is inspect's from start to end; "times_faster" is srec_info's
// elapsed time over inspect's, "times_faster_cpu" the same for their processor times.
void BM_InspectAgainstSrecInfo(benchmark::State& state) {
    const ChildSetup inspect =
        QuietChild({KNOT_FDT_PATH, "inspect", "--model", "p", FullImagePath()});
    const ChildSetup srecInfo = QuietChild({"srec_info", FullImagePath()});
    RunTimes own{0, 0};
    RunTimes other{0, 0};
    bool inspectFirst = true;
    for (auto _ : state) {
        const RunTimes first = RunOnce(inspectFirst ? inspect : srecInfo);
        const RunTimes second = RunOnce(inspectFirst ? srecInfo : inspect);
        if (first.elapsed < 0 || second.elapsed < 0) {
            state.SkipWithError("knot-fdt inspect or srec_info failed (is srecord installed?)");
            break;
        }
        const RunTimes& ownRun = inspectFirst ? first : second;
        const RunTimes& otherRun = inspectFirst ? second : first;
        own.elapsed += ownRun.elapsed;
        own.processor += ownRun.processor;
        other.elapsed += otherRun.elapsed;
        other.processor += otherRun.processor;
        state.SetIterationTime(ownRun.elapsed);
        inspectFirst = !inspectFirst;
    }
    const auto average = [](double seconds) {
        return benchmark::Counter(seconds * 1000, benchmark::Counter::kAvgIterations);
    };
    state.counters["srec_info_ms"] = average(other.elapsed);
    state.counters["cpu_ms"] = average(own.processor);
    state.counters["srec_info_cpu_ms"] = average(other.processor);
    state.counters["times_faster"] = own.elapsed > 0 ? other.elapsed / own.elapsed : 0;
    state.counters["times_faster_cpu"] = own.processor > 0 ? other.processor / own.processor : 0;
}
BENCHMARK(BM_InspectAgainstSrecInfo)->Unit(benchmark::kMillisecond)->UseManualTime();

} // namespace

BENCHMARK_MAIN();
