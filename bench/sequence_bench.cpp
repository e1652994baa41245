// The cost of our own work per block of a download: a full image (8192 CPU and 16384 flash
// blocks, none blank) runs through the download core, the protocol and the trace log into an
// in-process unit, once paced by a window's posted step messages and once in a lane's plain loop.
// A third benchmark replays the same exchanges straight into the unit, so that the unit's own
// share can be taken off.
#include "knot_names.h"

#include "firmware_image.h"
#include "flash_transfer_controller.h"
#include "flash_transfer_view.h"
#include "loopback_driver_port.h"
#include "packet_protocol.h"
#include "transfer_log.h"
#include "unit_run.h"
#include "variant_profile.h"

#include <benchmark/benchmark.h>

#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <random>
#include <string>

namespace {

constexpr double FULL_IMAGE_BLOCKS = 8192 + 16384;

std::filesystem::path ScratchFolder() {
    std::random_device random;
    auto path = std::filesystem::temp_directory_path() /
                ("knot-bench-" + std::to_string(random()) + std::to_string(random()));
    std::filesystem::create_directories(path);
    return path;
}

void FillFullImage(FirmwareImage& image) {
    for (std::size_t i = 0; i < CPU_REGION_SIZE; ++i) {
        image.CpuRegion[i] = static_cast<std::uint8_t>(i % 251); // no block is all 0xFF
    }
    for (std::size_t i = 0; i < FLASH_REGION_SIZE; ++i) {
        image.FlashRegion[i] = static_cast<std::uint8_t>(i % 241);
    }
    image.flashExtent = FLASH_EXTENT_LIMIT;
    image.flashDataStored = true;
    image.imageLoaded = true;
}

// A window that shows nothing: the posted step messages wait in a plain queue.
class QuietView : public FlashTransferView {
  public:
    void SetStatusText(std::string_view) override {}
    void SetProgressRange(int) override {}
    void SetProgressPos(int) override {}
    void EnableStart(bool) override {}
    void EnableOpenItem(bool) override {}
    void EnableInitializeItem(bool) override {}
    void ClearIdentityList() override {}
    void SetIdentityText(int, int, std::string_view) override {}
    void ShowMessage(std::string_view, std::string_view, MessageIcon) override {}
    void BeginWaitCursor() override {}
    void EndWaitCursor() override {}
    void RefreshWindow() override {}
    void PostWindowMessage(WindowMessage message, std::uintptr_t wParam) override {
        std::lock_guard lock(mutex);
        posted.push_back({message, wParam});
    }
    // Handles what is queued, in order, until nothing is.
    void Pump(FlashTransferController& controller) {
        for (;;) {
            PostedMessage next{};
            {
                std::lock_guard lock(mutex);
                if (posted.empty()) {
                    return;
                }
                next = posted.front();
                posted.pop_front();
            }
            controller.OnWindowMessage(next.message, next.wParam);
        }
    }

    std::mutex mutex; // the poller posts from its own thread
    std::deque<PostedMessage> posted;
};

LogicServices QuietServices() {
    LogicServices services;
    services.sleep = [](std::chrono::milliseconds) {};
    services.beep = [] {};
    services.diagnostics = [](std::string_view) {};
    return services;
}

// One fresh unit, log and window logic per run, so that the unit's capture and the log start
// empty.
struct WindowRig {
    explicit WindowRig(const std::filesystem::path& folder)
        : log((folder / "debugZu.txt").string(), (folder / "debugZu.1.txt").string()) {
        port.Plug();
        controller = std::make_unique<FlashTransferController>(VariantQProfile(), view, port, log,
                                                               QuietServices());
        controller->InitializeLogic();
        view.Pump(*controller);
        FillFullImage(controller->Image());
        controller->SetCommitWait({0, std::chrono::milliseconds(0)});
    }
    ~WindowRig() { controller->OnClose(); }

    TransferLog log;
    LoopbackDriverPort port;
    QuietView view;
    std::unique_ptr<FlashTransferController> controller;
};

// The window's way: each block a posted step message that the window's loop hands back.
void BM_FullImageDownload(benchmark::State& state) {
    std::filesystem::path folder = ScratchFolder();
    for (auto _ : state) {
        state.PauseTiming();
        auto rig = std::make_unique<WindowRig>(folder);
        state.ResumeTiming();
        rig->controller->OnStartDownload();
        rig->view.Pump(*rig->controller);
        state.PauseTiming();
        if (!rig->controller->Core().Report().succeeded) {
            state.SkipWithError("the download failed");
        }
        rig.reset();
        state.ResumeTiming();
    }
    std::filesystem::remove_all(folder);
    state.counters["per_block"] =
        benchmark::Counter(FULL_IMAGE_BLOCKS, benchmark::Counter::kIsIterationInvariantRate |
                                                  benchmark::Counter::kInvert);
}
BENCHMARK(BM_FullImageDownload)->Unit(benchmark::kMillisecond)->UseRealTime();

// knot-fdt's and a station's way: the core stepped in a plain loop, with the unit's lock and
// disconnect watch.
void BM_LaneDownload(benchmark::State& state) {
    std::filesystem::path folder = ScratchFolder();
    auto image = std::make_unique<FirmwareImage>();
    FillFullImage(*image);
    IgnoredEvents quiet;
    for (auto _ : state) {
        state.PauseTiming();
        TransferLog log((folder / "debugZu.txt").string(), (folder / "debugZu.1.txt").string());
        LoopbackDriverPort port;
        port.Plug();
        UnitRunSettings settings;
        settings.forWriting = true;
        settings.sleep = [](std::chrono::milliseconds) {};
        settings.beep = [] {};
        auto run = std::make_unique<UnitRun>(VariantQProfile(), port, log, quiet, settings);
        if (run->Open()) {
            state.SkipWithError("the unit was not opened");
            break;
        }
        state.ResumeTiming();
        const DownloadReport& report = run->Download(*image, {0, std::chrono::milliseconds(0)});
        state.PauseTiming();
        if (!report.succeeded) {
            state.SkipWithError("the download failed");
        }
        run.reset();
        state.ResumeTiming();
    }
    std::filesystem::remove_all(folder);
    state.counters["per_block"] =
        benchmark::Counter(FULL_IMAGE_BLOCKS, benchmark::Counter::kIsIterationInvariantRate |
                                                  benchmark::Counter::kInvert);
}
BENCHMARK(BM_LaneDownload)->Unit(benchmark::kMillisecond)->UseRealTime();

// The unit's share: the same block packets and acknowledgments, straight through the port.
void BM_UnitAnswersOnly(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        auto port = std::make_unique<LoopbackDriverPort>();
        port->Plug();
        PortHandle set = port->GetClassDevices();
        std::string path;
        port->GetInterfaceDetail(set, 0, path);
        port->DestroyDeviceInfoList(set);
        PortHandle handle = port->CreateFile(path);
        std::uint8_t packet[64] = {0x01, 0x00, 0x70, 0x00, 0x30, 0, 0, 0, 0, 0x24};
        std::uint8_t answer[PACKET_IMAGE_SIZE];
        state.ResumeTiming();
        for (int block = 0; block < static_cast<int>(FULL_IMAGE_BLOCKS); ++block) {
            bool cpu = block < 8192;
            packet[10] = 0x3F;
            packet[11] = cpu ? 0x13 : 0x23;
            int number = (cpu ? block : block - 8192) + 1;
            packet[14] = static_cast<std::uint8_t>(number >> 24);
            packet[15] = static_cast<std::uint8_t>(number >> 16);
            packet[16] = static_cast<std::uint8_t>(number >> 8);
            packet[17] = static_cast<std::uint8_t>(number);
            std::size_t returned = 0;
            port->DeviceIoControl(handle, IOCTL_UNIT_SEND, packet, sizeof packet, nullptr, 0,
                                  returned);
            port->DeviceIoControl(handle, IOCTL_UNIT_RECEIVE, nullptr, 0, answer, sizeof answer,
                                  returned);
            benchmark::DoNotOptimize(answer);
        }
        state.PauseTiming();
        port->CloseHandle(handle);
        port.reset();
        state.ResumeTiming();
    }
    state.counters["per_block"] =
        benchmark::Counter(FULL_IMAGE_BLOCKS, benchmark::Counter::kIsIterationInvariantRate |
                                                  benchmark::Counter::kInvert);
}
BENCHMARK(BM_UnitAnswersOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
