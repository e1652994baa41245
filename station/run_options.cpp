// The options of a flash or a station.
#include "run_options.h"

#include "model_option.h"

#include <CLI/CLI.hpp>

#include <cstdlib>

namespace knot::station {
namespace {

// An hour: far beyond the longest wait of any model (about 60 s).
constexpr long MAX_COMMIT_WAIT_MS = 3600L * 1000L;

CLI::Validator CommitWaitMilliseconds() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            char* end = nullptr;
            long value = std::strtol(text.c_str(), &end, 10);
            if (text.empty() || *end != '\0' || value < 0 || value > MAX_COMMIT_WAIT_MS) {
                return "takes a whole number of milliseconds from 0 to " +
                       std::to_string(MAX_COMMIT_WAIT_MS) + ", not \"" + text + "\"";
            }
            return {};
        },
        "MS");
}

} // namespace

void AddRunOptions(CLI::App& command, RunOptions& options, RunOptionSet set) {
    AddModelOption(command, options.model);
    command.add_option("--report", options.reportPath,
                       "append one JSON line per unit to this file (never truncated; opened "
                       "before any unit is touched, exit 2 when it cannot be)");
    command.add_flag("--strict", options.strict,
                     "refuse an image with a record whose checksum is wrong (as without it)");
    command.add_flag("--allow-bad-checksums", options.allowBadChecksums,
                     "send an image with a record whose checksum is wrong (with a warning; the "
                     "record lists the lines)");
    command.add_flag("--allow-empty", options.allowEmpty,
                     "accept an image that holds no data (only the commit is then written)");
    command
        .add_option("--commit-wait-ms", options.commitWaitMs,
                    "wait this long after the commit instead of the model's fixed wait; "
                    "meant for simulated units only, a real unit needs its full wait")
        ->check(CommitWaitMilliseconds());
    command.add_option("--manifest", options.manifestPath,
                       "the line's release manifest: an image it does not list for the model is "
                       "refused before any unit is touched (exit 7)");
    command.add_option("--manifest-key", options.manifestKey,
                       "the release's ECDSA P-256 public key (PEM): the manifest must then be "
                       "signed (FILE.sig beside it)");
    command.add_option("--database", options.databasePath,
                       "a file holding the line database's ODBC connection string or DSN=NAME: "
                       "the records of --report are shipped into it as they are written");
    if (set == RunOptionSet::Station) {
        command.add_option("--metrics", options.metricsPath,
                           "rewrite this file after each run with the station's yield in the "
                           "Prometheus text format (for a textfile collector)");
        command.add_option("--operator", options.operatorName,
                           "the operator's name, in every record of the station");
        command.add_option("--work-order", options.workOrder,
                           "the work order the units are written for, in every record");
    }
    command
        .add_option("FILE", options.imagePath,
                    "the S-Record file (*.mot); - reads it from standard input")
        ->required();
}

} // namespace knot::station
