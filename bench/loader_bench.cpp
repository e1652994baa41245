// Loads a full image of model P: every CPU and flash block filled by S2 and S3 records of 32
// data bytes with CRLF line ends (about 1.9 MB), and reads the same file with srec_info (Debian
// package srecord) for comparison. Linux only.
#include "firmware_image.h"
#include "srecord_writer.h"
#include "variant_profile.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

// The CPU region's last byte and the flash region's last byte can never be loaded, so the last
// record of each region holds 31 bytes.
std::string FullImageText() {
    std::string text =
        FormatSRecord('0', 0, std::vector<std::uint8_t>{'b', 'e', 'n', 'c', 'h'}) + "\r\n";
    std::vector<std::uint8_t> data(BLOCK_SIZE);
    std::uint32_t state = 12345;
    auto fill = [&](std::size_t count) {
        data.resize(count);
        for (auto& byte : data) {
            state = state * 1664525u + 1013904223u;
            byte = static_cast<std::uint8_t>(state >> 24);
        }
    };
    for (std::uint32_t offset = 0; offset < CPU_REGION_SIZE; offset += BLOCK_SIZE) {
        fill(offset + BLOCK_SIZE == CPU_REGION_SIZE ? BLOCK_SIZE - 1 : BLOCK_SIZE);
        text += FormatSRecord('2', offset, data) + "\r\n";
    }
    const std::uint32_t flashBase = VariantPProfile().flashBase;
    for (std::uint32_t offset = 0; offset < FLASH_REGION_SIZE; offset += BLOCK_SIZE) {
        fill(offset + BLOCK_SIZE == FLASH_REGION_SIZE ? BLOCK_SIZE - 1 : BLOCK_SIZE);
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

// srec_info reads and checks every record of the same file; it is started directly (no shell),
// and its process start is part of the figure, as it is for anyone who runs it.
void BM_SrecInfo(benchmark::State& state) {
    std::string path = FullImagePath();
    char program[] = "srec_info";
    char* argv[] = {program, path.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    for (auto _ : state) {
        pid_t child = 0;
        int status = 0;
        if (posix_spawnp(&child, program, &actions, nullptr, argv, environ) != 0 ||
            waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("srec_info failed (is the package srecord installed?)");
            break;
        }
    }
    posix_spawn_file_actions_destroy(&actions);
}
BENCHMARK(BM_SrecInfo)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
