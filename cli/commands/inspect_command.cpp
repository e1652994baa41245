#include "inspect_command.h"

#include "data_ranges.h"
#include "firmware_image.h"
#include "image_checks.h"
#include "image_input.h"
#include "json_output.h"
#include "model_option.h"
#include "srecord_loader.h"
#include "variant_profile.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace knot::cli {
using namespace knot::core;
using namespace knot::station;

namespace {

const char* ResultName(LoadResult::Kind kind) {
    switch (kind) {
    case LoadResult::Loaded:
        return "Loaded";
    case LoadResult::Rejected:
        return "Rejected";
    case LoadResult::FileError:
        return "FileError";
    }
    return "?";
}

ExitCode ExitCodeFor(LoadResult::Kind kind) {
    switch (kind) {
    case LoadResult::Loaded:
        return ExitCode::Success;
    case LoadResult::Rejected:
        return ExitCode::ImageRejected;
    case LoadResult::FileError:
        break;
    }
    return ExitCode::FileError;
}

std::string Hex(std::uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, static_cast<unsigned>(value));
    return text;
}

// What the download would send; nothing unless the image is loaded.
struct DownloadSummary {
    std::uint32_t flashExtent = 0;
    std::size_t cpuBlocks = 0;
    std::size_t flashBlocks = 0;
};

DownloadSummary Summarise(const FirmwareImage& image) {
    DownloadSummary summary;
    if (image.imageLoaded) {
        summary.flashExtent = image.flashExtent;
        summary.cpuBlocks = image.CountCpuBlocksToSend();
        summary.flashBlocks = image.FlashBlockCount();
    }
    return summary;
}

void PrintJson(const std::string& path, const std::string& model, const ImageRead& read,
               const FirmwareImage& image, const VariantProfile& profile,
               const std::vector<DataRange>& dataRanges) {
    const LoadResult& result = read.load;
    DownloadSummary summary = Summarise(image);
    nlohmann::ordered_json out;
    out["result"] = ResultName(result.kind);
    out["input"] = path;
    out["model"] = model;
    out["sha256"] = read.sha256 ? nlohmann::ordered_json(*read.sha256) : nullptr;
    out["flashExtent"] = summary.flashExtent;
    out["cpuBlocks"] = summary.cpuBlocks;
    out["flashBlocks"] = summary.flashBlocks;
    if (result.kind == LoadResult::Loaded) {
        nlohmann::ordered_json ranges = nlohmann::ordered_json::array();
        for (const DataRange& range : dataRanges) {
            ranges.push_back(
                {{"region", range.region}, {"first", range.first}, {"last", range.last}});
        }
        out["ranges"] = std::move(ranges);
    }
    if (result.kind == LoadResult::Rejected) {
        out["line"] = result.line;
        out["reason"] = DescribeRejectReason(result.reason);
        out["message"] = LoadFailureText(path, result, profile);
    }
    if (result.kind == LoadResult::FileError) {
        out["file"] = result.file;
        out["error"] = result.error;
    }
    out["badChecksumLines"] = result.badChecksumLines;
    std::printf("%s\n", DumpIndented(out).c_str());
}

void PrintText(const std::string& path, const ImageRead& read, const FirmwareImage& image,
               const VariantProfile& profile, const std::vector<DataRange>& ranges) {
    const LoadResult& result = read.load;
    std::printf("input:   %s (%s)\n", ImageName(path).c_str(), profile.modelName);
    if (read.sha256) {
        std::printf("sha256:  %s\n", read.sha256->c_str());
    }
    std::printf("result:  %s\n", ResultName(result.kind));
    if (result.kind == LoadResult::Rejected) {
        std::printf("line:    %llu\n", static_cast<unsigned long long>(result.line));
        std::printf("reason:  %s\n", DescribeRejection(result, profile).c_str());
        return;
    }
    if (result.kind == LoadResult::FileError) {
        std::printf("file:    %s\n", result.file.c_str());
        std::printf("error:   %s\n", result.error.c_str());
        return;
    }
    DownloadSummary summary = Summarise(image);
    std::printf("flashExtent:          %s\n", Hex(summary.flashExtent, 5).c_str());
    std::printf("CPU blocks to send:   %zu\n", summary.cpuBlocks);
    std::printf("flash blocks to send: %zu\n", summary.flashBlocks);
    std::printf("address ranges holding data:\n");
    if (ranges.empty()) {
        std::printf("  none\n");
    }
    for (const DataRange& range : ranges) {
        std::printf("  %-5s  %s-%s  (%u bytes)\n", range.region, Hex(range.first, 6).c_str(),
                    Hex(range.last, 6).c_str(),
                    static_cast<unsigned>(range.last - range.first + 1));
    }
}

} // namespace

CLI::App* InspectCommand::Register(CLI::App& app) {
    CLI::App* command = app.add_subcommand(
        Name(), "Load an S-Record file as the transfer tool does and report what a download "
                "would send (exit 0 loaded, 1 rejected, 2 file error)");
    AddModelOption(*command, m_model);
    command->add_flag("--json", m_bJson, "print one JSON object instead of text");
    command->add_flag("--dump", m_bDump,
                      "after a complete load write CPU_Mem.bin and Flash_Mem.bin into the "
                      "current folder");
    command->add_option("FILE", m_path, "the S-Record file (*.mot); - reads it from standard input")
        ->required();
    return command;
}

ExitCode InspectCommand::Run(const DriverPortFactory&) {
    m_model = NormaliseModel(m_model);
    const VariantProfile& profile = ProfileForModel(m_model);
    auto image = NewImage();
    // The ranges come from the same read as the image: the file is read once, so a pipe, a
    // dump that replaces the input, or a file changed meanwhile cannot make them disagree.
    DataRangeCollector collector;
    const ImageRead read = LoadImageFile(m_path, m_bDump, profile, *image, &collector);
    const std::vector<DataRange> ranges = collector.Ranges();
    if (const std::string warning = ChecksumWarning(ImageName(m_path), read.load);
        !warning.empty()) {
        std::fprintf(stderr, "knot-fdt: warning: %s\n", warning.c_str());
    }
    if (m_bJson) {
        PrintJson(m_path, m_model, read, *image, profile, ranges);
    } else {
        PrintText(m_path, read, *image, profile, ranges);
    }
    std::fflush(stdout);
    return ExitCodeFor(read.load.kind);
}

} // namespace knot::cli
