// The set-up of a flash or a station.
#include "run_setup.h"

#include "data_ranges.h"
#include "firmware_image.h"
#include "host_facts.h"
#include "image_checks.h"
#include "json_output.h"
#include "model_option.h"
#include "srecord_loader.h"
#include "variant_profile.h"

namespace knot::station {
using namespace knot::core;

RunSetup::RunSetup(std::function<void(const std::string&)> say)
    : m_line(say ? std::move(say) : [](const std::string&) {}) {}
RunSetup::~RunSetup() = default;

const VariantProfile& RunSetup::Profile() const {
    return ProfileForModel(m_options.model);
}

CommitWait RunSetup::Wait() const {
    if (m_options.commitWaitMs) {
        return CommitWait::OfMilliseconds(*m_options.commitWaitMs);
    }
    return {Profile().commitWaitSteps, COMMIT_WAIT_TICK};
}

std::optional<SetupRefusal> RunSetup::Refused(const char* result, ExitCode code, std::string text) {
    return SetupRefusal{result, code, std::move(text)};
}

std::optional<SetupRefusal> RunSetup::Load(const RunOptions& options) {
    m_options = options;
    m_warnings.clear();
    const VariantProfile& profile = Profile();
    const std::string& path = options.imagePath;
    m_common = nlohmann::ordered_json();
    m_common["model"] = NormaliseModel(options.model);
    m_common["file"] = path;
    m_image = NewImage();
    DataRangeCollector collector; // whether the image holds any data, from the same read
    const ImageRead read = LoadImageFile(path, false, profile, *m_image, &collector);
    const LoadResult& load = read.load;
    if (load.kind == LoadResult::Rejected) {
        m_common["line"] = load.line;
        m_common["reason"] = DescribeRejectReason(load.reason);
        return Refused("rejected", ExitCode::ImageRejected, LoadFailureText(path, load, profile));
    }
    if (load.kind == LoadResult::FileError) {
        return Refused("file-error", ExitCode::FileError, LoadFailureText(path, load, profile));
    }
    m_common["badChecksumLines"] = load.badChecksumLines;
    if (!load.badChecksumLines.empty() && !options.allowBadChecksums) {
        return Refused("rejected", ExitCode::ImageRejected,
                       ImageName(path) + ": " + ChecksumLinesText(load) +
                           ": refused (--allow-bad-checksums sends such an image)");
    }
    if (std::string warning = ChecksumWarning(ImageName(path), load); !warning.empty()) {
        m_warnings.push_back(std::move(warning));
    }
    if (!options.allowEmpty && collector.Ranges().empty()) {
        return Refused("rejected", ExitCode::ImageRejected,
                       ImageName(path) + ": the image holds no data");
    }
    if (read.sha256) {
        m_common["sha256"] = *read.sha256;
    }
    m_common["blocks"] = {{"cpu", m_image->CountCpuBlocksToSend()},
                          {"flash", m_image->FlashBlockCount()}};
    m_common["host"] = HostName();
    if (std::optional<SetupRefusal> refused = m_line.CheckRelease(
            options, m_common.value("sha256", std::string()), ImageName(path), m_common)) {
        return refused;
    }
    if (!options.operatorName.empty()) {
        m_common["operator"] = options.operatorName;
    }
    if (!options.workOrder.empty()) {
        m_common["workOrder"] = options.workOrder;
    }
    std::string why;
    if (!options.reportPath.empty() && !m_report.Open(options.reportPath, why)) {
        return Refused("file-error", ExitCode::FileError,
                       "cannot open the report file " + options.reportPath + ": " + why);
    }
    return m_line.Open(options);
}

void RunSetup::LaneStarted() {
    m_line.LaneStarted(m_common.value("model", std::string()));
}

void RunSetup::LaneEnded(const Lane& lane, double seconds) {
    m_line.LaneEnded(lane, m_common.value("model", std::string()), seconds);
}

LaneSettings RunSetup::Settings(TransferLog& log) const {
    LaneSettings settings;
    settings.profile = &Profile();
    settings.image = m_image.get();
    settings.log = &log;
    settings.common = m_common;
    settings.wait = Wait();
    return settings;
}

bool RunSetup::AppendReport(Lane& lane, std::string& why) {
    return m_report.AppendOnce(
        lane.RecordAppended(), [&] { return DumpLine(lane.RecordNow()); }, why);
}

} // namespace knot::station
