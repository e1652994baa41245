// Renders the station window to a PNG file, as the README shows it: four in-process units in four
// slots, one written, one that refused a block, one committed and one held part way through its
// download while the window is grabbed.
// Usage: knot-station-shot OUTPUT.png FILE.mot
#include "knot_names.h"

#include "forwarding_driver_port.h"
#include "gui_test_support.h"
#include "station_window.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPixmap>

#include <condition_variable>
#include <cstdio>
#include <mutex>

namespace {

// The send at which the held unit stops answering until the window has been grabbed.
constexpr int kHeldSend = 3400;
constexpr int kSettleMs = 60000;

// Where the held unit's lane waits.
struct Gate {
    void Wait() {
        std::unique_lock lock(mutex);
        opened.wait(lock, [this] { return open; });
    }
    void Open() {
        std::lock_guard lock(mutex);
        open = true;
        opened.notify_all();
    }
    std::mutex mutex;
    std::condition_variable opened;
    bool open = false;
};

// A lane's port that holds the unit of `heldPath` at its kHeldSend-th packet.
class HoldingPort : public ForwardingDriverPort {
  public:
    HoldingPort(DriverPort& inner, Gate& gate, std::string heldPath)
        : ForwardingDriverPort(inner), m_gate(gate), m_heldPath(std::move(heldPath)) {}

    PortHandle CreateFile(const std::string& path) override {
        const PortHandle handle = ForwardingDriverPort::CreateFile(path);
        if (QString::fromStdString(path).compare(QString::fromStdString(m_heldPath),
                                                 Qt::CaseInsensitive) == 0) {
            m_held = handle;
        }
        return handle;
    }
    bool DeviceIoControl(PortHandle handle, std::uint32_t code, const void* in, std::size_t inSize,
                         void* out, std::size_t outSize, std::size_t& returned) override {
        if (handle == m_held && code == IOCTL_UNIT_SEND && ++m_sends == kHeldSend) {
            m_gate.Wait();
        }
        return ForwardingDriverPort::DeviceIoControl(handle, code, in, inSize, out, outSize,
                                                     returned);
    }

  private:
    Gate& m_gate;
    std::string m_heldPath;
    PortHandle m_held = INVALID_PORT_HANDLE;
    int m_sends = 0;
};

// Pumps the window's events until every slot's tile is in its state (a writing one past 0 %), at
// most kSettleMs.
bool Settle(const StationDesk& desk, const std::vector<std::pair<std::string, TileState>>& want) {
    QElapsedTimer waited;
    waited.start();
    const auto reached = [&] {
        for (const auto& [slot, state] : want) {
            const auto& tiles = desk.Tiles();
            if (std::none_of(tiles.begin(), tiles.end(), [&](const Tile& tile) {
                    return tile.slot == slot && tile.state == state && tile.percent != 0;
                })) {
                return false;
            }
        }
        return true;
    };
    while (!reached() && waited.elapsed() < kSettleMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return reached();
}

UnitConfig Unit(const char* slot, const char* fault = nullptr) {
    UnitConfig unit;
    unit.slot = slot;
    unit.programName = "KNOTQ100";
    unit.version = "V1.10";
    unit.checksum = 0x5A3C;
    if (fault != nullptr) {
        unit.faults.push_back(*ParseFaultSpec(fault));
    }
    return unit;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: knot-station-shot OUTPUT.png FILE.mot\n");
        return 2;
    }
    // The header names the image and the report as given: no folder of this machine in them.
    WindowBench bench;
    const QString output = QFileInfo(args[1]).absoluteFilePath();
    const QString image = QFileInfo(args[2]).fileName();
    if (!QFile::copy(args[2], bench.FilePath(image)) || !QDir::setCurrent(bench.folder.path())) {
        std::fprintf(stderr, "cannot copy %s\n", qPrintable(args[2]));
        return 1;
    }
    ModalAnswerer answerer; // a refusal's message box is closed, not waited on
    Gate gate;
    UnitConfig held = Unit("bay-4");
    held.number = 3; // after units 0 to 2
    const std::string heldPath = UnitDevicePath(held);
    CStationWindow window([&] { return std::make_unique<HoldingPort>(bench.port, gate, heldPath); },
                          bench.log);
    StationDesk& desk = window.Desk();
    if (!desk.StartFromCommandLine({"KNOT-Station", "--model", "q", "--report", "shift.jsonl",
                                    "--operator", "A. Meyer", "--work-order", "WO-2041",
                                    "--commit-wait-ms", "5000", image.toStdString()})) {
        std::fprintf(stderr, "%s\n", qPrintable(answerer.BoxTexts().join(QLatin1Char('\n'))));
        return 1;
    }
    window.show();
    bench.port.Plug(Unit("bay-1"));
    bench.port.Plug(Unit("bay-2", "refuse=cpu:130"));
    const bool settled = Settle(desk, {{"bay-1", TileState::Passed}, {"bay-2", TileState::Failed}});
    bench.port.Plug(Unit("bay-3"));
    bench.port.Plug(held);
    const bool shown = settled && Settle(desk, {{"bay-1", TileState::Passed},
                                                {"bay-2", TileState::Failed},
                                                {"bay-3", TileState::Committed},
                                                {"bay-4", TileState::Writing}});
    QCoreApplication::processEvents();
    const bool saved = shown && window.grab().save(output);
    gate.Open();
    if (!saved) {
        std::fprintf(stderr, "no picture of four states written to %s\n", qPrintable(output));
        return 1;
    }
    return 0;
}
