// The line's parts of a bench.
#include "line_parts.h"

#include "connection_file.h"
#include "lane.h"
#include "run_setup.h"

#include <chrono>

namespace knot::station {
namespace {

// How long the end of a program gives the shipper for the records of its last runs.
constexpr std::chrono::milliseconds LAST_SHIPPING{1500};

// The manifest's problems that are a file that could not be read; the others say that the
// release cannot be trusted.
bool UnreadableFile(ManifestProblem problem) {
    return problem == ManifestProblem::FileUnreadable ||
           problem == ManifestProblem::KeyUnreadable ||
           problem == ManifestProblem::SignatureUnreadable;
}

std::int64_t UnixSecondsNow() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

} // namespace

LineParts::LineParts(std::function<void(const std::string&)> say) : m_say(std::move(say)) {}

LineParts::~LineParts() {
    Close();
}

std::optional<SetupRefusal> LineParts::CheckRelease(const RunOptions& options,
                                                    const std::string& sha256,
                                                    const std::string& imageName,
                                                    nlohmann::ordered_json& common) {
    if (!options.manifestPath.empty()) {
        const ManifestLoad load = LoadReleaseManifest(options.manifestPath, options.manifestKey);
        if (load.problem != ManifestProblem::None) {
            return SetupRefusal{UnreadableFile(load.problem) ? "file-error" : "not-released",
                                UnreadableFile(load.problem) ? ExitCode::FileError
                                                             : ExitCode::NotReleased,
                                load.message};
        }
        const ReleaseLookup release =
            FindReleasedImage(load.manifest, options.model, sha256, imageName);
        if (release.entry == nullptr) {
            return SetupRefusal{"not-released", ExitCode::NotReleased, release.refusal};
        }
        common["release"] = {{"manifestSha256", load.manifest.sha256},
                             {"name", release.entry->name},
                             {"version", release.entry->version}};
    }
    return std::nullopt;
}

std::optional<SetupRefusal> LineParts::Open(const RunOptions& options) {
    if (!options.databasePath.empty()) {
        if (options.reportPath.empty()) {
            return SetupRefusal{"usage", ExitCode::UsageError,
                                "--database ships the records of --report: give both"};
        }
        const ConnectionString connection = ReadConnectionFile(options.databasePath);
        if (!connection.refusal.empty()) {
            return SetupRefusal{"file-error", ExitCode::FileError, connection.refusal};
        }
        ShipperSettings settings;
        settings.reportPath = options.reportPath;
        settings.connection = connection.text;
        m_shipper = std::make_unique<RecordShipper>(
            settings, [this](const ShipperNews& news) { m_say(news.text); });
        m_shipper->Start();
    }
    if (!options.metricsPath.empty()) {
        m_metrics = std::make_unique<StationMetrics>(options.metricsPath,
                                                     std::vector<std::string>{options.model});
        WriteMetrics();
    }
    return std::nullopt;
}

void LineParts::WriteMetrics() {
    if (m_metrics == nullptr) {
        return;
    }
    if (m_shipper != nullptr) {
        m_metrics->SetBacklog(m_shipper->Backlog());
    }
    std::string why;
    if (!m_metrics->Write(why)) {
        m_say("the metrics file could not be written: " + why);
    }
}

void LineParts::LaneStarted(const std::string& model) {
    if (m_metrics != nullptr) {
        m_metrics->RunStarted(model);
        WriteMetrics();
    }
}

void LineParts::LaneEnded(const Lane& lane, const std::string& model, double seconds) {
    if (m_shipper != nullptr) {
        m_shipper->Notify();
    }
    if (m_metrics == nullptr) {
        return;
    }
    const nlohmann::ordered_json& record = lane.Record();
    FinishedRun run;
    run.model = model;
    run.result = record.value("result", std::string());
    if (const std::optional<Failure>& failure = lane.EndFailure()) {
        run.failureStage = StageName(failure->stage);
        run.failureCause = CauseName(failure->cause);
    }
    run.seconds = seconds;
    run.endUnixSeconds = UnixSecondsNow();
    m_metrics->RunFinished(run);
    WriteMetrics();
}

void LineParts::Close() {
    if (m_shipper != nullptr) {
        m_shipper->WaitUntilShipped(std::chrono::steady_clock::now() + LAST_SHIPPING);
        m_shipper->Stop();
        m_shipper.reset();
    }
}

} // namespace knot::station
