// What a flash or a station starts from, before any unit is touched: the model, the image read,
// loaded and checked once, the report file opened, the fields every record starts with, and the
// settings each lane is given. knot-fdt's options and the station window's command line fill it.
#pragma once

#include "commit_wait.h"
#include "exit_codes.h"
#include "image_input.h"
#include "lane.h"
#include "line_parts.h"
#include "report_file.h"

#include <nlohmann/json.hpp>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace knot::station {
using namespace knot::logic;

struct RunOptions {
    std::string model;      // "q" or "p"
    std::string imagePath;  // "-": standard input
    std::string reportPath; // "": no report
    bool strict = false;    // kept for scripts: a wrong checksum is refused without it too
    bool allowBadChecksums = false;
    bool allowEmpty = false;
    std::optional<long> commitWaitMs; // none: the model's own wait
    std::string operatorName;         // "": not given
    std::string workOrder;            // "": not given
    std::string manifestPath;         // the release manifest; "": none
    std::string manifestKey;          // its signer's public key; "": unsigned
    std::string databasePath;         // the line database's connection file; "": none
    std::string metricsPath;          // the metrics file; "": none
};

// Why nothing was started: the result word a refusal's record gives, the exit status and the
// operator's text.
struct SetupRefusal {
    const char* result; // "rejected" or "file-error"
    ExitCode code;
    std::string text;
};

class RunSetup {
  public:
    // `say` hears, on any thread, what the line's parts tell the operator (the database gone or
    // back, a metrics file that could not be written).
    explicit RunSetup(std::function<void(const std::string&)> say = {});
    ~RunSetup();
    RunSetup(const RunSetup&) = delete;
    RunSetup& operator=(const RunSetup&) = delete;

    // Loads and checks the image, then opens the report file; a refusal when any of it fails.
    // Common() holds what was learnt of the image either way.
    std::optional<SetupRefusal> Load(const RunOptions& options);
    // What the operator is warned of although the image is taken (records with a wrong checksum
    // sent with allowBadChecksums).
    const std::vector<std::string>& Warnings() const { return m_warnings; }

    const VariantProfile& Profile() const;
    const RunOptions& Options() const { return m_options; }
    const FirmwareImage& Image() const { return *m_image; }
    const nlohmann::ordered_json& Common() const { return m_common; }
    CommitWait Wait() const;

    // The settings every lane starts from (after a successful Load).
    LaneSettings Settings(TransferLog& log) const;
    // Appends the lane's record to the report unless it was appended already (RecordNow: from any
    // thread); false with the system's reason in `why` when it could not be.
    bool AppendReport(Lane& lane, std::string& why);
    // For the program's last words: no record but the calling thread's is appended from now on.
    void SealReport() { m_report.Seal(); }
    // A lane began; a lane ended and its record was appended (`seconds`: its run).
    void LaneStarted();
    void LaneEnded(const Lane& lane, double seconds);

  private:
    std::optional<SetupRefusal> Refused(const char* result, ExitCode code, std::string text);

    RunOptions m_options;
    ImageHolder m_image;
    nlohmann::ordered_json m_common;
    std::vector<std::string> m_warnings;
    ReportFile m_report;
    LineParts m_line; // last, so first to go: its shipper stops before the report closes
};

} // namespace knot::station
