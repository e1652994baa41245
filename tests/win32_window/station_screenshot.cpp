// Renders the station window to a PNG for the README, under Wine on a display: the sample image
// loaded for a shift with a report, an operator and a work order, the station taking units, and
// four slots in four states (passed, failed, writing, committed) as the station's tile logic
// words them, with the tally and the records of the two that ended.
// Usage: knot-win32-station-shot OUTPUT.png SAMPLE.mot
#include "knot_names.h"

#include "forwarding_driver_port.h"
#include "lane_record.h"
#include "lane_runner.h"
#include "loopback_driver_port.h"
#include "station_dlg.h"
#include "transfer_log.h"
#include "variant_profile.h"
#include "win32_text.h"
#include "window_image.h"
#include "window_test_support.h"

#include <gdiplus.h>

#include <cstdio>
#include <string>

namespace {

// A slot's unit and how far its lane has come.
LaneFacts Facts(int unit, const char* version, Stage stage, long done, long total) {
    LaneFacts facts;
    facts.slot = "Port_#000" + std::to_string(unit) + ".Hub_#0001";
    facts.unit = unit;
    facts.identity = IdentityValues{"KNOTQ-FW", version, "3A7C"};
    facts.stage = stage;
    facts.done = done;
    facts.total = total;
    facts.wait = {VariantQProfile().commitWaitSteps, COMMIT_WAIT_TICK};
    return facts;
}

// The facts of a lane that ended as `report` says, and its line in the records' list.
LaneFacts Ended(LaneFacts facts, const DownloadReport& report, const char* time,
                const char* seconds, std::vector<std::string>& records) {
    const LaneEnd end = DescribeDownloadEnd(report, false, facts.wait);
    facts.ended = end.code;
    facts.resultLine = end.line;
    std::string line = std::string(time) + "  " + UnitName(facts.unit, facts.slot) + " ";
    for (const std::string& value : *facts.identity) {
        line += " " + value;
    }
    records.push_back(line + "  " + end.line + " (" + seconds + " s)");
    return facts;
}

void ShowFourStates(CStationDlg& dlg) {
    std::vector<std::string> records;
    DownloadReport passed;
    passed.succeeded = true;
    DownloadReport refused;
    refused.failure = Failure{Stage::FlashBlocks, 3, Cause::Refused};
    const LaneFacts facts[] = {
        Ended(Facts(1, "2.10", Stage::Finished, 0, 0), passed, "2026-12-09T09:41:07Z", "16.4",
              records),
        Ended(Facts(2, "2.10", Stage::FlashBlocks, 2, 9), refused, "2026-12-09T09:41:12Z", "1.2",
              records),
        Facts(3, "2.04", Stage::FlashBlocks, 5, 9),
        Facts(4, "2.04", Stage::Wait, 400, 0),
    };
    for (std::size_t index = 0; index < std::size(facts); ++index) {
        dlg.ShowTile(index, TileOf(facts[index]));
    }
    dlg.ShowTally(TallyText({1, 1, 0, 2}));
    dlg.ShowRecords(records);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: knot-win32-station-shot OUTPUT.png SAMPLE.mot\n");
        return 2;
    }
    Gdiplus::GdiplusStartupInput startup;
    ULONG_PTR token = 0;
    if (Gdiplus::GdiplusStartup(&token, &startup, nullptr) != Gdiplus::Ok) {
        std::fprintf(stderr, "GDI+ did not start\n");
        return 1;
    }
    int status = 1;
    {
        TransferLog log{std::string(), std::string()};
        LoopbackDriverPort port; // no unit: the tiles are given, not polled
        CStationDlg dlg([&] { return std::make_unique<ForwardingDriverPort>(port); }, log,
                        {"KNOT-Station"});
        CreateDirectoryW(L"C:\\Line", nullptr); // the shift's report goes there
        RunOptions options;
        options.model = "q";
        options.imagePath = argv[2];
        options.reportPath = "C:\\Line\\bench-3.jsonl";
        options.operatorName = "M. Weber";
        options.workOrder = "WO-2041";
        if (dlg.Create() == nullptr) {
            std::fprintf(stderr, "no window (is there a display?)\n");
        } else {
            PumpPending(); // the window's start with an empty command line
            if (dlg.Desk().Load(options)) {
                dlg.Desk().Start(); // the window's timer is not started: nothing is polled
                ShowFourStates(dlg);
                SetForegroundWindow(dlg.GetSafeHwnd());
                // The window is the active one, but on a display without a window manager Wine
                // draws its caption as an inactive one's: drawn as Windows draws it.
                DefWindowProcW(dlg.GetSafeHwnd(), WM_NCACTIVATE, TRUE, 0);
                RedrawWindow(dlg.GetSafeHwnd(), nullptr, nullptr,
                             RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
                PumpPending();
                status = SaveWindowImage(dlg.GetSafeHwnd(), WidenText(argv[1])) ? 0 : 1;
            }
        }
    }
    Gdiplus::GdiplusShutdown(token);
    return status;
}
