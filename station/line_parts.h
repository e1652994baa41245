// What a bench gives the line beside its units: the check that the image is a released one
// (the release manifest), its records shipped into the line's database, and its yield in a
// metrics file. Each part is there only when its option was given.
#pragma once

#include "exit_codes.h"
#include "metrics_file.h"
#include "record_shipper.h"
#include "release_manifest.h"

#include <nlohmann/json.hpp>

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace knot::station {

class Lane;
struct RunOptions;
struct SetupRefusal;

class LineParts {
  public:
    // `say` hears, on any thread, what a part has to tell the operator (the database gone or
    // back); it must outlive the parts.
    explicit LineParts(std::function<void(const std::string&)> say);
    ~LineParts();
    LineParts(const LineParts&) = delete;
    LineParts& operator=(const LineParts&) = delete;

    // Checks the image (`sha256`, named `imageName`) against --manifest and adds the release to
    // `common`: a refusal when it is not released.
    std::optional<SetupRefusal> CheckRelease(const RunOptions& options, const std::string& sha256,
                                             const std::string& imageName,
                                             nlohmann::ordered_json& common);
    // Opens --database (its shipper starts following the report) and --metrics.
    std::optional<SetupRefusal> Open(const RunOptions& options);
    // A lane began, or ended and its record was appended: the metrics are written again and the
    // shipper is woken.
    void LaneStarted(const std::string& model);
    void LaneEnded(const Lane& lane, const std::string& model, double seconds);
    // The program ends: the shipper has a moment for the last records (they wait in the report
    // if the database does not take them by then), then stops.
    void Close();

  private:
    void WriteMetrics();

    std::function<void(const std::string&)> m_say;
    std::unique_ptr<RecordShipper> m_shipper;
    std::unique_ptr<StationMetrics> m_metrics;
};

} // namespace knot::station
