// The printed name of a download stage, as the live lines, the summaries and the records give it.
#pragma once

#include "download_report.h"

namespace knot::cli {
using namespace knot::logic;

// "idle", "prepare", "cpu", "flash", "commit", "wait" or "finished".
const char* StageName(DownloadStage stage);

} // namespace knot::cli
