// The station's yield for the line's dashboards: units by model and result, failures by stage
// and cause, a histogram of run seconds, units in progress, the last run's time and the records'
// backlog, in the Prometheus text format, in a file a textfile collector serves.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace knot::station {
// A run that ended, as the metrics count it.
struct FinishedRun {
    std::string model;        // "q", "p"
    std::string result;       // "written", "failed", "interrupted"
    std::string failureStage; // the record's failure.stage; empty for a run written
    std::string failureCause; // the record's failure.cause; empty for a run written
    double seconds = 0;       // from the start of the run to its end
    std::int64_t endUnixSeconds = 0;
};

// The counts since the station started; threads share one. Write() renders them and replaces
// the file whole, so that the collector never reads half of it.
class StationMetrics {
  public:
    // `models`: those whose series are shown from the start, at zero.
    StationMetrics(std::string path, const std::vector<std::string>& models);

    void RunStarted(const std::string& model);
    void RunFinished(const FinishedRun& run);
    // The records not yet in the line's database; the series is shown once this is called.
    void SetBacklog(std::uint64_t records);

    // The metrics in the Prometheus text format (version 0.0.4).
    std::string Text() const;
    // Replaces the file with Text(); false with the system's reason in `why`.
    bool Write(std::string& why) const;

    const std::string& Path() const { return m_path; }

  private:
    struct ModelCounts {
        std::map<std::string, std::uint64_t> units;                // by result
        std::map<std::string, std::vector<std::uint64_t>> buckets; // by result, per bound
        std::map<std::string, double> secondsSum;                  // by result
        std::map<std::pair<std::string, std::string>, std::uint64_t> failures; // stage, cause
        std::int64_t inProgress = 0;
        std::optional<std::int64_t> lastRunEnd;
    };
    ModelCounts& Model(const std::string& model);

    std::string m_path;
    mutable std::mutex m_mutex;
    std::map<std::string, ModelCounts> m_models;
    std::optional<std::uint64_t> m_backlog;
};

} // namespace knot::station
