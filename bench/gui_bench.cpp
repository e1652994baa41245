// The window's own cost per block step of a download: a full image (8192 CPU blocks, 16384 flash
// blocks) through CFlashTransferDlg on the offscreen platform, each step posted, handled and
// refreshed, against an in-process unit that answers at once. Also the time from Escape during
// a run to the window's end, the time from nothing to a shown window, and the resident memory
// once it is shown.
#include "knot_names.h"

#include "flash_transfer_dlg.h"
#include "gui_test_support.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <QtTest>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

namespace {

double ResidentMegabytes() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return 0;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').front().toDouble() / 1024.0;
        }
    }
    return 0;
}

// A full image, no blank CPU block, flash up to the largest extent.
void FillFullImage(FirmwareImage& image) {
    for (std::size_t i = 0; i < image.CpuRegion.size(); ++i) {
        image.CpuRegion[i] = static_cast<std::uint8_t>(i % 251);
    }
    for (std::size_t i = 0; i < image.FlashRegion.size(); ++i) {
        image.FlashRegion[i] = static_cast<std::uint8_t>(i % 241);
    }
    image.flashExtent = FLASH_EXTENT_LIMIT;
    image.flashDataStored = true;
    image.imageLoaded = true;
}

void BM_FullImageThroughTheWindow(benchmark::State& state) {
    WindowBench bench;
    bench.PlugUnit();
    const auto window = bench.Open(QStringLiteral("p"));
    CFlashTransferDlg& dlg = *window;
    dlg.show();
    if (!QTest::qWaitForWindowExposed(&dlg) ||
        !QTest::qWaitFor([&] { return dlg.Controller().DeviceReady(); })) {
        state.SkipWithError("the unit was not found");
        return;
    }
    FillFullImage(dlg.Controller().Image());
    dlg.Controller().SetCommitWait({0, std::chrono::milliseconds(0)}); // only the block steps
    const DownloadCore& core = dlg.Controller().Core();
    ModalAnswerer answerer; // closes the closing message
    std::size_t steps = 0;
    QElapsedTimer clock;
    qint64 runNs = 0;
    for (auto _ : state) {
        clock.start();
        dlg.OnCommand(IDC_START);
        while (core.IsRunning()) {
            QCoreApplication::processEvents();
        }
        runNs += clock.nsecsElapsed();
        const DownloadReport& report = core.Report();
        if (!report.succeeded) {
            state.SkipWithError("the download failed");
            return;
        }
        steps += report.cpuBlocksSent + report.cpuBlocksSkipped + report.flashBlocksSent;
    }
    state.counters["block_steps"] = static_cast<double>(steps) / state.iterations();
    state.counters["us_per_block_step"] =
        static_cast<double>(runNs) / 1e3 / static_cast<double>(steps);
}
BENCHMARK(BM_FullImageThroughTheWindow)->Unit(benchmark::kMillisecond)->UseRealTime();

// The time from Escape, pressed at a random moment of a run of model Q (blocks or the 15 s wait,
// with its real 10 ms ticks), to the end of the window: its modal loop left, the run cancelled,
// the workers stopped and the window destroyed. Measured from the moment the key was due, so a
// loop that serves input late counts in full.
void BM_EscapeAtARandomMomentOfARun(benchmark::State& state) {
    constexpr int kLatestMomentMs = 15000; // within the run: the wait alone lasts 15 s
    std::mt19937 random(11);
    std::uniform_int_distribution<int> moment(1, kLatestMomentMs);
    std::vector<double> latenciesMs;
    for (auto _ : state) {
        WindowBench bench;
        bench.PlugUnit();
        LogicServices services; // the real clock
        services.beep = [] {};
        auto window = std::make_unique<CFlashTransferDlg>(VariantQProfile(), bench.port, bench.log,
                                                          false, services);
        CFlashTransferDlg& dlg = *window;
        if (!QTest::qWaitFor([&] { return dlg.Controller().DeviceReady(); })) {
            state.SkipWithError("the unit was not found");
            return;
        }
        FillFullImage(dlg.Controller().Image());
        ModalAnswerer answerer; // closes the closing message should the run end first
        const int dueMs = moment(random);
        QElapsedTimer clock;
        QTimer::singleShot(0, &dlg, [&] {
            clock.start();
            QTimer::singleShot(dueMs, Qt::PreciseTimer, &dlg,
                               [&] { QTest::keyClick(&dlg, Qt::Key_Escape); });
            dlg.OnCommand(IDC_START);
        });
        dlg.exec();
        window.reset();
        latenciesMs.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6 - dueMs);
    }
    std::sort(latenciesMs.begin(), latenciesMs.end());
    const std::size_t n = latenciesMs.size();
    state.counters["median_ms"] = (latenciesMs[(n - 1) / 2] + latenciesMs[n / 2]) / 2;
    state.counters["worst_ms"] = latenciesMs.back();
}
BENCHMARK(BM_EscapeAtARandomMomentOfARun)
    ->Iterations(20)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_WindowShown(benchmark::State& state) {
    WindowBench bench;
    bench.PlugUnit();
    double residentMb = 0;
    for (auto _ : state) {
        const auto window = bench.Open(QStringLiteral("q"));
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get())) {
            state.SkipWithError("the window was not shown");
            return;
        }
        QCoreApplication::processEvents(); // the first paint
        residentMb = ResidentMegabytes();
        window->reject();
    }
    state.counters["resident_MB"] = residentMb;
}
BENCHMARK(BM_WindowShown)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QElapsedTimer started;
    started.start();
    QApplication app(argc, argv);
    {
        // Start-up: the application object, then the first window until it is shown.
        WindowBench bench;
        const auto window = bench.Open(QStringLiteral("q"));
        window->show();
        const bool shown = QTest::qWaitForWindowExposed(window.get());
        QCoreApplication::processEvents();
        std::printf("first window %s %.1f ms after start, resident %.1f MB\n",
                    shown ? "shown" : "NOT shown", started.nsecsElapsed() / 1e6,
                    ResidentMegabytes());
        window->reject();
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
