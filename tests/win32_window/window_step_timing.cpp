// Measures the native window under Wine (not a test: speed is not asserted anywhere): the time
// from creating the main window to its first paint, and the time per download step, handled
// through the real message loop against an in-process unit that answers at once.
// Usage: knot-win32-window-timing [q|p] [cpu-bytes]
#include "operator_texts.h"
#include "resource_ids.h"
#include "variant_profile.h"
#include "window_test_support.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    using Clock = std::chrono::steady_clock;
    const bool modelP = argc > 1 && std::string(argv[1]) == "p";
    const int cpuBytes = argc > 2 ? std::atoi(argv[2]) : 0x40000;
    const VariantProfile& profile = modelP ? VariantPProfile() : VariantQProfile();
    WindowRig rig;
    rig.PlugUnit();
    const std::string file = rig.folder.File("image.mot");
    if (!WriteSRecordFile(file, profile, cpuBytes, 0)) {
        std::fprintf(stderr, "cannot write %s\n", file.c_str());
        return 1;
    }

    const Clock::time_point created = Clock::now();
    CFlashTransferDlg* dlg = rig.Open(profile);
    if (dlg == nullptr) {
        std::fprintf(stderr, "no window (is there a display?)\n");
        return 1;
    }
    UpdateWindow(dlg->GetSafeHwnd());
    const double shownMs =
        std::chrono::duration<double, std::milli>(Clock::now() - created).count();
    if (!PumpUntil([&] { return dlg->Controller().Session().DeviceReady(); })) {
        std::fprintf(stderr, "the unit was not found\n");
        return 1;
    }
    ModalAnswerer answerer(dlg->GetSafeHwnd());
    dlg->Controller().OnFileChosen(file);

    const Clock::time_point start = Clock::now();
    SendMessageW(dlg->GetSafeHwnd(), WM_COMMAND, IDC_START, 0);
    if (!PumpUntil([&] { return answerer.boxes.size() == 2u; }, std::chrono::minutes(10))) {
        std::fprintf(stderr, "the run did not end\n");
        return 1;
    }
    const double runUs = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
    const DownloadReport& report = dlg->Controller().Sequence().Report();
    // Every CPU block is one step, sent or skipped as blank.
    const std::size_t steps = report.cpuBlocksSent + report.cpuBlocksSkipped +
                              report.flashBlocksSent + report.waitStepsDone;
    std::printf("model %s: window shown after %.1f ms\n", profile.modelName, shownMs);
    std::printf("run: %zu steps (%zu blocks sent, %u wait steps), %s, %.0f us in all, "
                "%.1f us per step\n",
                steps, report.cpuBlocksSent + report.flashBlocksSent, report.waitStepsDone,
                report.succeeded ? "succeeded" : "failed", runUs,
                runUs / static_cast<double>(steps));
    return report.succeeded ? 0 : 1;
}
