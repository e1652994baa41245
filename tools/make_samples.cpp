// Makes the sample images of both models: knot-q-sample.mot and knot-p-sample.mot, each with an
// S0 header, CPU records, flash records at the model's flash base and an end record.
// Usage: knot-make-samples OUTPUT_FOLDER
#include "srecord_writer.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace knot::tools {
namespace {

struct SampleModel {
    const char* fileName;
    const char* header;
    std::uint32_t flashAddress; // where the sample's flash data begins
    char flashType;             // record type of the flash records
    char endType;               // the matching end record
};

// Deterministic bytes that look like a small program: a text banner, then a counter pattern.
std::vector<std::uint8_t> SampleBytes(std::size_t count, std::uint32_t seed, const char* banner) {
    std::vector<std::uint8_t> bytes(banner, banner + std::char_traits<char>::length(banner));
    std::uint32_t state = seed;
    while (bytes.size() < count) {
        state = state * 1664525u + 1013904223u;
        bytes.push_back(static_cast<std::uint8_t>(state >> 24));
    }
    bytes.resize(count);
    return bytes;
}

void AppendData(std::string& text, char type, std::uint32_t address,
                const std::vector<std::uint8_t>& bytes, std::size_t perRecord) {
    for (std::size_t i = 0; i < bytes.size(); i += perRecord) {
        std::size_t n = bytes.size() - i < perRecord ? bytes.size() - i : perRecord;
        text += FormatSRecord(type, address + static_cast<std::uint32_t>(i),
                              std::span(bytes.data() + i, n)) +
                "\r\n";
    }
}

bool WriteSample(const std::string& folder, const SampleModel& model) {
    std::string text;
    std::string header = model.header;
    text += FormatSRecord(
                '0', 0,
                std::span(reinterpret_cast<const std::uint8_t*>(header.data()), header.size())) +
            "\r\n";
    // CPU: a vector table in S1 records, a code area and a constant table in S2 records.
    AppendData(text, '1', 0x000000, SampleBytes(64, 1, ""), 16);
    AppendData(text, '2', 0x001000, SampleBytes(1000, 2, "KNOT sample program"), 32);
    AppendData(text, '2', 0x030000, SampleBytes(96, 3, "constants"), 32);
    // Flash: setting data at the start of the model's flash region.
    AppendData(text, model.flashType, model.flashAddress,
               SampleBytes(1200, 4, "KNOT sample flash data"), 32);
    text += FormatSRecord(model.endType, 0x001000, {}) + "\r\n";

    std::string path = folder + "/" + model.fileName;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        std::perror(path.c_str());
        return false;
    }
    bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    ok = std::fclose(file) == 0 && ok;
    if (!ok) {
        std::perror(path.c_str());
    }
    return ok;
}

} // namespace

} // namespace knot::tools

int main(int argc, char** argv) {
    using namespace knot::tools;
    if (argc != 2) {
        std::fprintf(stderr, "usage: knot-make-samples OUTPUT_FOLDER\n");
        return 64;
    }
    const SampleModel models[] = {
        {"knot-q-sample.mot", "KNOT-Q sample image", 0x040000, '2', '8'},
        {"knot-p-sample.mot", "KNOT-P sample image", 0x800000, '3', '7'},
    };
    for (const SampleModel& model : models) {
        if (!WriteSample(argv[1], model)) {
            return 1;
        }
    }
    return 0;
}
