// The station window's logic, for both of its views (Qt and native Windows): the image chosen on
// the kiosk command line or with File > Open and checked once, the station polled on the window's
// timer, the tiles, the tally and the last records as the view shows them, and the close that
// waits for the units that were sent their commit. The view only shows and forwards.
#pragma once

#include "logic_events.h"
#include "run_setup.h"
#include "station.h"
#include "station_tiles.h"

#include <chrono>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace knot::device {
class TransferLog;
} // namespace knot::device

namespace knot::station {
using namespace knot::device;

// The window's title and the texts its menus and lines give.
inline constexpr const char* STATION_TITLE = "KNOT Station";

// The image and what the station was told, as the window's header shows them.
struct StationHeader {
    std::string image;    // the file's name
    std::string model;    // "KNOT-Q"
    std::string sha256;   // the whole digest ("" when unknown)
    std::string shortSha; // its first 12 digits
    std::string blocks;   // "5 CPU and 9 flash blocks"
    std::string report;   // the report file, or "" for none
    std::string operatorName;
    std::string workOrder;
};

// Which commands the window offers now.
struct StationCommands {
    bool open = false;  // File > Open and the model (not in a kiosk)
    bool start = false; // take units
    bool stop = false;  // stop taking units
};

// What a station window shows; every call comes on the window's thread.
class StationView {
  public:
    virtual ~StationView() = default;
    virtual void ShowHeader(const StationHeader& header) = 0;
    // Tile `index` shows `tile`; an index one past the last adds a tile.
    virtual void ShowTile(std::size_t index, const Tile& tile) = 0;
    // "3 passed, 1 failed, 0 interrupted, 2 in progress"
    virtual void ShowTally(const std::string& text) = 0;
    // The last few records in one line each, newest last.
    virtual void ShowRecords(const std::vector<std::string>& lines) = 0;
    // The status line: what the station does now.
    virtual void ShowStatus(const std::string& text) = 0;
    virtual void EnableCommands(const StationCommands& commands) = 0;
    // A message box with one OK button; returns once it is closed.
    virtual void ShowMessage(const std::string& text, MessageIcon icon) = 0;
    // The station has stopped after a close was asked for: the window goes now.
    virtual void CloseWindow() = 0;
};

// How many records the window keeps in its list.
inline constexpr std::size_t STATION_RECORD_LINES = 6;

class StationDesk : private StationListener {
  public:
    // `view` and `log` must outlive the desk; lanes make their ports with `ports`.
    StationDesk(StationView& view, DriverPortFactory ports, TransferLog& log);
    ~StationDesk() override;
    StationDesk(const StationDesk&) = delete;
    StationDesk& operator=(const StationDesk&) = delete;

    // The kiosk command line (the program's name first): without arguments the operator chooses
    // the image; with them, it is loaded and checked, the image cannot be changed, and the
    // station starts taking units at once. False after a message box said what is wrong.
    bool StartFromCommandLine(const std::vector<std::string>& arguments);
    // File > Open and the model chosen: loads and checks the image (a message box says a
    // refusal). True when it was taken.
    bool Load(const RunOptions& options);
    // Station > Start and Stop.
    void Start();
    void Stop();
    // The window's timer: one round of the station. Due every PollInterval() while Polling().
    void Tick();
    bool Polling() const { return m_station != nullptr; }
    std::chrono::milliseconds PollInterval() const;
    // The window's close box or File > Exit: true when it may close now; otherwise the station
    // stops and the window is told to close (CloseWindow) once the units that were sent their
    // commit have finished their wait.
    bool RequestClose();

    bool Kiosk() const { return m_kiosk; }
    const RunOptions& Options() const { return m_options; }
    const std::vector<Tile>& Tiles() const { return m_tiles.Tiles(); }

  private:
    void OnLaneStarted(const RunningLane& lane) override;
    void OnLaneEnded(const RunningLane& lane, const LaneTally& tally) override;
    void OnUnplugged(std::int32_t number, const std::string& slot) override;
    void OnPolled(const std::list<RunningLane>& lanes, const LaneTally& tally) override;

    // Keeps what another thread has to say for the next round's status line.
    void Note(const std::string& text);
    void ShowCommands();
    void ShowTiles();
    StationHeader HeaderOf() const;
    // The station's tally with the runs of the stations stopped before it.
    LaneTally TallyNow(const LaneTally& station) const;

    StationView& m_view;
    DriverPortFactory m_ports;
    TransferLog& m_log;
    RunOptions m_options;
    std::unique_ptr<RunSetup> m_setup;  // the image taken, once one was
    std::unique_ptr<Station> m_station; // while it polls
    StationTiles m_tiles;
    std::size_t m_tilesShown = 0;
    std::deque<std::string> m_records;
    LaneTally m_earlier; // the runs of the stations stopped before this one
    std::mutex m_problemMutex;
    std::string m_problem; // said on a lane's thread, shown by the next round
    bool m_kiosk = false;
    bool m_closing = false;
};

} // namespace knot::station
