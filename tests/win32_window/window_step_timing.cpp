// Measures the native window under Wine (not a test: speed is not asserted anywhere): the time
// from creating the main window to its first paint, and the time per download step, handled
// through the real message loop against an in-process unit that answers at once. Steps are timed
// one by one, from the start of one step message to the start of the next, so that each figure
// holds the handler, the paint it asks for and the posted message's way back through the queue;
// they are reported by kind: blank CPU blocks (nothing sent), blocks sent, and steps of the wait.
// The cost of one trace line, two of which every block sent writes, is measured apart.
// Usage: knot-win32-window-timing [q|p] [cpu-bytes] [flash-bytes]
#include "knot_names.h"

#include "firmware_image.h"
#include "operator_texts.h"
#include "resource_ids.h"
#include "transfer_log.h"
#include "variant_profile.h"
#include "window_test_support.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

enum StepKind { BlankBlock, SentBlock, WaitStep, OtherStep, KindCount };
constexpr const char* kKindNames[KindCount] = {"blank CPU block", "block sent", "wait step",
                                               "other step"};

struct StepTimes {
    std::vector<double> micros[KindCount];

    void Print() const {
        for (int kind = 0; kind < KindCount; ++kind) {
            std::vector<double> sorted = micros[kind];
            if (sorted.empty()) {
                continue;
            }
            std::sort(sorted.begin(), sorted.end());
            double sum = 0;
            for (double us : sorted) {
                sum += us;
            }
            std::printf("  %-16s %6zu steps: mean %8.1f us, median %8.1f us, 90%% %8.1f us\n",
                        kKindNames[kind], sorted.size(), sum / static_cast<double>(sorted.size()),
                        sorted[sorted.size() / 2], sorted[sorted.size() * 9 / 10]);
        }
    }
};

// The kind of step a posted step message starts, for an image of `cpuBytes` bytes of CPU data
// that hold no blank block.
StepKind KindOf(const MSG& message, int cpuBytes, unsigned waitSteps) {
    const std::size_t index = message.wParam;
    switch (message.message) {
    case WM_CPU_BLOCK_STEP:
        if (index >= CPU_BLOCK_COUNT) {
            return OtherStep;
        }
        return index * DATA_BLOCK_SIZE < static_cast<std::size_t>(cpuBytes) ? SentBlock
                                                                            : BlankBlock;
    case WM_FLASH_BLOCK_STEP:
        return SentBlock; // the step that ends the phase is timed with the block before it
    case WM_COMMIT_STEP:
        return index >= 1 && index <= waitSteps ? WaitStep : OtherStep;
    default:
        return KindCount;
    }
}

// The cost of one trace line, as each block sent writes two.
double TraceLineMicros(const ScratchFolder& folder) {
    TransferLog log(folder.File("timing.txt"), folder.File("timing.1.txt"));
    constexpr int kLines = 2000;
    const Clock::time_point start = Clock::now();
    for (int line = 0; line < kLines; ++line) {
        log.WriteTransferLog("BinSendToDevice", "[\x01]<1>", 0x7C);
    }
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count() / kLines;
}

} // namespace

int main(int argc, char** argv) {
    const bool modelP = argc > 1 && std::string(argv[1]) == "p";
    const int cpuBytes = argc > 2 ? std::atoi(argv[2]) : 0x20000;
    const int flashBytes = argc > 3 ? std::atoi(argv[3]) : 0;
    const VariantProfile& profile = modelP ? VariantPProfile() : VariantQProfile();
    WindowRig rig;
    rig.PlugUnit();
    const std::string file = rig.folder.File("image.mot");
    if (!WriteSRecordFile(file, profile, cpuBytes, flashBytes)) {
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
    if (!PumpUntil([&] { return dlg->Controller().DeviceReady(); })) {
        std::fprintf(stderr, "the unit was not found\n");
        return 1;
    }
    ModalAnswerer answerer(dlg->GetSafeHwnd());
    dlg->Controller().OnFileChosen(file);

    // The message loop of PumpUntil, with each step message noted as it is taken.
    StepTimes times;
    StepKind running = KindCount;
    Clock::time_point stepStart;
    const unsigned waitSteps = profile.commitWaitSteps;
    const Clock::time_point start = Clock::now();
    SendMessageW(dlg->GetSafeHwnd(), WM_COMMAND, IDC_START, 0);
    const Clock::time_point deadline = start + std::chrono::minutes(10);
    while (answerer.boxes.size() < 2u) {
        MSG message{};
        if (!PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE)) {
            if (Clock::now() > deadline) {
                std::fprintf(stderr, "the run did not end\n");
                return 1;
            }
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
            continue;
        }
        if (message.hwnd == dlg->GetSafeHwnd()) {
            const StepKind kind = KindOf(message, cpuBytes, waitSteps);
            if (kind != KindCount) {
                const Clock::time_point now = Clock::now();
                if (running != KindCount) {
                    times.micros[running].push_back(
                        std::chrono::duration<double, std::micro>(now - stepStart).count());
                }
                running = kind;
                stepStart = now;
            }
        }
        PumpOne();
    }
    const double runUs = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
    const DownloadReport& report = dlg->Controller().Core().Report();
    const std::size_t steps = report.cpuBlocksSent + report.cpuBlocksSkipped +
                              report.flashBlocksSent + report.waitStepsDone;
    std::printf("model %s: window shown after %.1f ms\n", profile.modelName, shownMs);
    std::printf("run: %zu steps (%zu blocks sent, %zu blank, %u wait steps), %s, %.0f us in all, "
                "%.1f us per step\n",
                steps, report.cpuBlocksSent + report.flashBlocksSent, report.cpuBlocksSkipped,
                report.waitStepsDone, report.succeeded ? "succeeded" : "failed", runUs,
                runUs / static_cast<double>(steps));
    times.Print();
    std::printf("one trace line: %.1f us (a block sent writes two)\n", TraceLineMicros(rig.folder));
    return report.succeeded ? 0 : 1;
}
