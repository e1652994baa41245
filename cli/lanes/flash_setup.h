// What flash and station share: the image options, the image loaded and checked once before any
// unit is touched, the settings every lane starts from, and the record appended to the report.
#pragma once

#include "exit_codes.h"
#include "flash_lane.h"
#include "image_input.h"
#include "report_file.h"

#include <nlohmann/json.hpp>

#include <memory>
#include <string>

namespace CLI {
class App;
class Option;
} // namespace CLI

namespace knot::core {
class FirmwareImage;
} // namespace knot::core

namespace knot::cli {
using namespace knot::core;

class FlashSetup {
  public:
    FlashSetup();
    ~FlashSetup();

    // Adds --model, --report, --strict, --allow-bad-checksums, --allow-empty, --commit-wait-ms
    // and the FILE argument.
    void AddOptions(CLI::App& command);

    // Loads and checks the image, then opens the report file. On a refusal the reason is printed
    // (as JSON with `json`) and the exit status returned; Success otherwise.
    ExitCode Load();
    // Prints a refusal as Load does; returns `code`.
    ExitCode Refuse(const char* result, ExitCode code, const std::string& text);

    // The settings every lane starts from (after a successful Load).
    LaneSettings Settings(TransferLog& log) const;
    // Appends the lane's record to --report unless it was appended already (RecordNow: from
    // any thread); false (and said on standard error) when it could not be appended.
    bool AppendReport(FlashLane& lane);
    // For the program's last words: no record but the calling thread's is appended from now on.
    void SealReport() { m_report.Seal(); }

    const VariantProfile& Profile() const;
    const nlohmann::ordered_json& Common() const { return m_common; }
    const std::string& Path() const { return m_path; }

    bool json = false;

  private:
    // Opens --report for appending: exit 2 with the system's reason when it cannot be.
    ExitCode OpenReport();

    std::string m_model;
    std::string m_path;
    std::string m_reportPath;
    bool m_bStrict = false; // kept for scripts: a wrong checksum is refused without it too
    bool m_bAllowBadChecksums = false;
    bool m_bAllowEmpty = false;
    long m_commitWaitMs = 0;
    CLI::Option* m_commitWaitOption = nullptr;
    ImageHolder m_image;
    nlohmann::ordered_json m_common;
    ReportFile m_report;
};

} // namespace knot::cli
