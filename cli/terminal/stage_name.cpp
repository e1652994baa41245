// The printed names of the download's stages.
#include "stage_name.h"

namespace knot::cli {
const char* StageName(DownloadStage stage) {
    switch (stage) {
    case DownloadStage::Idle:
        return "idle";
    case DownloadStage::Prepare:
        return "prepare";
    case DownloadStage::CpuBlocks:
        return "cpu";
    case DownloadStage::FlashBlocks:
        return "flash";
    case DownloadStage::Commit:
        return "commit";
    case DownloadStage::Wait:
        return "wait";
    case DownloadStage::Finished:
        return "finished";
    }
    return "?";
}

} // namespace knot::cli
