#include "metrics_file.h"

#include "atomic_file.h"

#include <array>
#include <charconv>

namespace knot::station {
namespace {

constexpr const char* RESULTS[] = {"written", "failed", "interrupted"};
// A KNOT-Q run takes some 20 s and a KNOT-P run some 70 s, most of it the wait after the
// commit; runs that fail early end within a second or two.
constexpr std::array<double, 14> BOUNDS = {1, 2, 5, 10, 15, 20, 30, 45, 60, 90, 120, 180, 300, 600};

std::string Number(double value) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value);
    return std::string(text, end.ptr);
}

// A label's value as the text format wants it: backslash, quote and line feed escaped.
std::string Escaped(const std::string& value) {
    std::string escaped;
    for (char c : value) {
        if (c == '\\' || c == '"') {
            escaped += '\\';
            escaped += c;
        } else if (c == '\n') {
            escaped += "\\n";
        } else {
            escaped += c;
        }
    }
    return escaped;
}

void Header(std::string& out, const char* name, const char* type, const char* help) {
    out += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
}

void Sample(std::string& out, const std::string& name, const std::string& labels,
            const std::string& value) {
    out += name + (labels.empty() ? "" : "{" + labels + "}") + " " + value + "\n";
}

std::string Label(const char* name, const std::string& value) {
    return std::string(name) + "=\"" + Escaped(value) + "\"";
}

} // namespace

StationMetrics::StationMetrics(std::string path, const std::vector<std::string>& models)
    : m_path(std::move(path)) {
    for (const std::string& model : models) {
        Model(model);
    }
}

StationMetrics::ModelCounts& StationMetrics::Model(const std::string& model) {
    ModelCounts& counts = m_models[model];
    for (const char* result : RESULTS) {
        counts.units.try_emplace(result, 0);
        counts.buckets.try_emplace(result, std::vector<std::uint64_t>(BOUNDS.size(), 0));
        counts.secondsSum.try_emplace(result, 0.0);
    }
    return counts;
}

void StationMetrics::RunStarted(const std::string& model) {
    std::lock_guard lock(m_mutex);
    ++Model(model).inProgress;
}

void StationMetrics::RunFinished(const FinishedRun& run) {
    std::lock_guard lock(m_mutex);
    ModelCounts& counts = Model(run.model);
    counts.inProgress = counts.inProgress > 0 ? counts.inProgress - 1 : 0;
    ++counts.units[run.result];
    std::vector<std::uint64_t>& buckets =
        counts.buckets.try_emplace(run.result, BOUNDS.size(), 0).first->second;
    for (std::size_t i = 0; i < BOUNDS.size(); ++i) {
        buckets[i] += run.seconds <= BOUNDS[i] ? 1 : 0;
    }
    counts.secondsSum[run.result] += run.seconds;
    if (!run.failureStage.empty() || !run.failureCause.empty()) {
        ++counts.failures[{run.failureStage, run.failureCause}];
    }
    counts.lastRunEnd = run.endUnixSeconds;
}

void StationMetrics::SetBacklog(std::uint64_t records) {
    std::lock_guard lock(m_mutex);
    m_backlog = records;
}

std::string StationMetrics::Text() const {
    std::lock_guard lock(m_mutex);
    std::string out;
    Header(out, "knot_station_units_total", "counter",
           "Units whose run ended since the station started, by model and result.");
    for (const auto& [model, counts] : m_models) {
        for (const auto& [result, count] : counts.units) {
            Sample(out, "knot_station_units_total",
                   Label("model", model) + "," + Label("result", result), std::to_string(count));
        }
    }
    Header(out, "knot_station_failures_total", "counter",
           "Runs that did not end written, by model, the stage they stopped in and the cause.");
    for (const auto& [model, counts] : m_models) {
        for (const auto& [where, count] : counts.failures) {
            Sample(out, "knot_station_failures_total",
                   Label("model", model) + "," + Label("stage", where.first) + "," +
                       Label("cause", where.second),
                   std::to_string(count));
        }
    }
    Header(out, "knot_station_run_seconds", "histogram",
           "Seconds each run took, from taking the unit to its end, by model and result.");
    for (const auto& [model, counts] : m_models) {
        for (const auto& [result, buckets] : counts.buckets) {
            const std::string labels = Label("model", model) + "," + Label("result", result);
            for (std::size_t i = 0; i < BOUNDS.size(); ++i) {
                Sample(out, "knot_station_run_seconds_bucket",
                       labels + "," + Label("le", Number(BOUNDS[i])), std::to_string(buckets[i]));
            }
            const std::string count = std::to_string(counts.units.at(result));
            Sample(out, "knot_station_run_seconds_bucket", labels + ",le=\"+Inf\"", count);
            Sample(out, "knot_station_run_seconds_sum", labels,
                   Number(counts.secondsSum.at(result)));
            Sample(out, "knot_station_run_seconds_count", labels, count);
        }
    }
    Header(out, "knot_station_units_in_progress", "gauge", "Units being flashed now, by model.");
    for (const auto& [model, counts] : m_models) {
        Sample(out, "knot_station_units_in_progress", Label("model", model),
               std::to_string(counts.inProgress));
    }
    Header(out, "knot_station_last_run_timestamp_seconds", "gauge",
           "When the last run of a model ended, in seconds since 1970-01-01 UTC.");
    for (const auto& [model, counts] : m_models) {
        if (counts.lastRunEnd) {
            Sample(out, "knot_station_last_run_timestamp_seconds", Label("model", model),
                   std::to_string(*counts.lastRunEnd));
        }
    }
    if (m_backlog) {
        Header(out, "knot_station_records_backlog", "gauge",
               "Records of the report not yet in the line's database.");
        Sample(out, "knot_station_records_backlog", "", std::to_string(*m_backlog));
    }
    return out;
}

bool StationMetrics::Write(std::string& why) const {
    return WriteFileAtomically(m_path, Text(), false, why);
}

} // namespace knot::station
