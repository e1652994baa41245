#include "flash_setup.h"

#include "data_ranges.h"
#include "firmware_image.h"
#include "host_facts.h"
#include "image_checks.h"
#include "image_input.h"
#include "json_output.h"
#include "model_option.h"
#include "report_file.h"
#include "srecord_loader.h"
#include "variant_profile.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <cstdlib>

namespace knot::cli {
using namespace knot::core;

namespace {

// An hour: far beyond the longest wait of any model (about 60 s).
constexpr long MAX_COMMIT_WAIT_MS = 3600L * 1000L;

} // namespace

FlashSetup::FlashSetup() = default;
FlashSetup::~FlashSetup() = default;

void FlashSetup::AddOptions(CLI::App& command) {
    AddModelOption(command, m_model);
    command.add_option("--report", m_reportPath,
                       "append one JSON line per unit to this file (never truncated; opened "
                       "before any unit is touched, exit 2 when it cannot be)");
    command.add_flag("--strict", m_bStrict,
                     "refuse an image with a record whose checksum is wrong (as without it)");
    command.add_flag("--allow-bad-checksums", m_bAllowBadChecksums,
                     "send an image with a record whose checksum is wrong (with a warning; the "
                     "record lists the lines)");
    command.add_flag("--allow-empty", m_bAllowEmpty,
                     "accept an image that holds no data (only the commit is then written)");
    m_commitWaitOption =
        command
            .add_option("--commit-wait-ms", m_commitWaitMs,
                        "wait this long after the commit instead of the model's fixed wait; "
                        "meant for simulated units only, a real unit needs its full wait")
            ->check(CLI::Validator(
                [](std::string& text) -> std::string {
                    char* end = nullptr;
                    long value = std::strtol(text.c_str(), &end, 10);
                    if (text.empty() || *end != '\0' || value < 0 || value > MAX_COMMIT_WAIT_MS) {
                        return "takes a whole number of milliseconds from 0 to " +
                               std::to_string(MAX_COMMIT_WAIT_MS) + ", not \"" + text + "\"";
                    }
                    return {};
                },
                "MS"));
    command.add_option("FILE", m_path, "the S-Record file (*.mot); - reads it from standard input")
        ->required();
}

const VariantProfile& FlashSetup::Profile() const {
    return ProfileForModel(m_model);
}

ExitCode FlashSetup::Refuse(const char* result, ExitCode code, const std::string& text) {
    if (json) {
        nlohmann::ordered_json out{{"result", result}};
        out.update(m_common);
        out["message"] = text;
        out["exitCode"] = static_cast<int>(code);
        std::printf("%s\n", DumpLine(out).c_str());
    } else {
        std::fprintf(stderr, "knot-fdt: %s\n", text.c_str());
    }
    return code;
}

ExitCode FlashSetup::Load() {
    const VariantProfile& profile = Profile();
    m_common = nlohmann::ordered_json();
    m_common["model"] = NormaliseModel(m_model);
    m_common["file"] = m_path;
    m_image = NewImage();
    DataRangeCollector collector; // whether the image holds any data, from the same read
    const ImageRead read = LoadImage(m_path, false, profile, *m_image, &collector);
    const LoadResult& load = read.load;
    if (load.kind == LoadResult::Rejected) {
        m_common["line"] = load.line;
        m_common["reason"] = DescribeRejectReason(load.reason);
        return Refuse("rejected", ExitCode::ImageRejected, LoadFailureText(m_path, load, profile));
    }
    if (load.kind == LoadResult::FileError) {
        return Refuse("file-error", ExitCode::FileError, LoadFailureText(m_path, load, profile));
    }
    m_common["badChecksumLines"] = load.badChecksumLines;
    if (!load.badChecksumLines.empty() && !m_bAllowBadChecksums) {
        return Refuse("rejected", ExitCode::ImageRejected,
                      ImageName(m_path) + ": " + ChecksumLinesText(load) +
                          ": refused (--allow-bad-checksums sends such an image)");
    }
    WarnAboutChecksums(ImageName(m_path), load);
    if (!m_bAllowEmpty && collector.Ranges().empty()) {
        return Refuse("rejected", ExitCode::ImageRejected,
                      ImageName(m_path) + ": the image holds no data");
    }
    if (read.sha256) {
        m_common["sha256"] = *read.sha256;
    }
    m_common["blocks"] = {{"cpu", m_image->CountCpuBlocksToSend()},
                          {"flash", m_image->FlashBlockCount()}};
    m_common["host"] = HostName();
    return OpenReport();
}

ExitCode FlashSetup::OpenReport() {
    std::string why;
    if (m_reportPath.empty() || m_report.Open(m_reportPath, why)) {
        return ExitCode::Success;
    }
    return Refuse("file-error", ExitCode::FileError,
                  "cannot open the report file " + m_reportPath + ": " + why);
}

LaneSettings FlashSetup::Settings(TransferLog& log) const {
    LaneSettings settings;
    settings.profile = &Profile();
    settings.image = m_image.get();
    settings.log = &log;
    settings.common = m_common;
    if (m_commitWaitOption->count() > 0) {
        settings.commitWaitMs = m_commitWaitMs;
    }
    return settings;
}

bool FlashSetup::AppendReport(FlashLane& lane) {
    std::string why;
    if (m_report.AppendOnce(
            lane.RecordAppended(), [&] { return DumpLine(lane.RecordNow()); }, why)) {
        return true;
    }
    std::fprintf(stderr, "knot-fdt: the record could not be appended to %s: %s\n",
                 m_reportPath.c_str(), why.c_str());
    return false;
}

} // namespace knot::cli
