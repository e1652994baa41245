// The station window's logic.
#include "station_desk.h"

#include "image_input.h"
#include "logic_services.h"
#include "model_option.h"
#include "run_options.h"
#include "variant_profile.h"

#include <CLI/CLI.hpp>

#include <algorithm>

namespace knot::station {
namespace {

constexpr const char* STATUS_CHOOSE = "choose the model and an image: File > Open";
constexpr const char* STATUS_READY = "image checked: Station > Start takes units";
constexpr const char* STATUS_WAITING = "waiting for units";
constexpr const char* STATUS_STOPPED = "stopped: Station > Start takes units again";

// Units of `lanes` that were sent their commit and still write their flash.
int CommittedLanes(const std::list<RunningLane>& lanes) {
    return static_cast<int>(std::count_if(lanes.begin(), lanes.end(), [](const RunningLane& l) {
        const auto stage = static_cast<Stage>(l.lane->Status().stage.load());
        return !l.lane->Status().ended && (stage == Stage::Commit || stage == Stage::Wait);
    }));
}

} // namespace

StationDesk::StationDesk(StationView& view, DriverPortFactory ports, TransferLog& log)
    : m_view(view), m_ports(std::move(ports)), m_log(log) {}

StationDesk::~StationDesk() = default;

bool StationDesk::StartFromCommandLine(const std::vector<std::string>& arguments) {
    if (arguments.size() <= 1) {
        m_view.ShowStatus(STATUS_CHOOSE);
        ShowCommands();
        return true;
    }
    CLI::App app("Write an S-Record image into every qualifying unit as it is plugged in",
                 "KNOT-Station");
    RunOptions options;
    AddRunOptions(app, options, RunOptionSet::Station);
    std::vector<std::string> words(arguments.rbegin(), arguments.rend() - 1); // CLI11's order
    try {
        app.parse(words);
    } catch (const CLI::ParseError& error) {
        m_view.ShowMessage(error.get_exit_code() == 0 ? app.help() : error.what(),
                           MessageIcon::Stop);
        return false;
    }
    m_kiosk = true; // a shortcut locks the shift to this image
    if (!Load(options)) {
        return false;
    }
    Start();
    return true;
}

bool StationDesk::Load(const RunOptions& options) {
    if (m_station != nullptr) {
        return false; // the image does not change under a running station
    }
    // What the line's parts say (the database gone or back) comes on their threads: the next
    // round shows it on the status line.
    auto setup = std::make_unique<RunSetup>([this](const std::string& text) { Note(text); });
    const std::optional<SetupRefusal> refused = setup->Load(options);
    if (refused) {
        m_view.ShowMessage(refused->text, MessageIcon::Stop);
        return false;
    }
    for (const std::string& warning : setup->Warnings()) {
        m_view.ShowMessage("warning: " + warning, MessageIcon::Information);
    }
    m_setup = std::move(setup);
    m_options = options;
    m_view.ShowHeader(HeaderOf());
    m_view.ShowStatus(STATUS_READY);
    ShowCommands();
    return true;
}

StationHeader StationDesk::HeaderOf() const {
    const nlohmann::ordered_json& common = m_setup->Common();
    StationHeader header;
    header.image = ImageName(m_options.imagePath);
    header.model = m_setup->Profile().modelName;
    header.sha256 = common.value("sha256", std::string());
    header.shortSha = header.sha256.substr(0, 12);
    header.blocks = std::to_string(common["blocks"]["cpu"].get<long>()) + " CPU and " +
                    std::to_string(common["blocks"]["flash"].get<long>()) + " flash blocks";
    header.report = m_options.reportPath;
    header.operatorName = m_options.operatorName;
    header.workOrder = m_options.workOrder;
    return header;
}

void StationDesk::Start() {
    if (m_setup == nullptr || m_station != nullptr) {
        return;
    }
    LaneSettings base = m_setup->Settings(m_log);
    base.ports = m_ports;
    // A record that could not be appended is said on the lane's thread: the next round shows it.
    StationListener& listener = *this;
    m_station = std::make_unique<Station>(*m_setup, std::move(base), listener,
                                          [this](const std::string& text) { Note(text); });
    m_view.ShowStatus(STATUS_WAITING);
    ShowCommands();
}

void StationDesk::Stop() {
    if (m_station == nullptr || m_station->Stopping()) {
        return;
    }
    m_station->Stop();
    m_view.ShowStatus("stopping: units that were sent their commit finish their wait, the "
                      "others get no commit");
    ShowCommands();
}

std::chrono::milliseconds StationDesk::PollInterval() const {
    return SessionTiming{}.pollInterval;
}

void StationDesk::Tick() {
    if (m_station == nullptr) {
        return;
    }
    const bool polling = m_station->Poll();
    {
        std::lock_guard lock(m_problemMutex);
        if (!m_problem.empty()) {
            m_view.ShowStatus(m_problem);
            m_problem.clear();
        }
    }
    if (polling) {
        return;
    }
    const LaneTally ended = m_station->Tally();
    m_earlier.written += ended.written;
    m_earlier.failed += ended.failed;
    m_earlier.interrupted += ended.interrupted;
    m_station.reset();
    m_view.ShowStatus(STATUS_STOPPED);
    ShowCommands();
    if (m_closing) {
        m_view.CloseWindow();
    }
}

void StationDesk::Note(const std::string& text) {
    std::lock_guard lock(m_problemMutex);
    m_problem = text;
}

bool StationDesk::RequestClose() {
    if (m_station == nullptr) {
        return true;
    }
    m_closing = true;
    Stop();
    Tick(); // with no lane left, the station ends in this round
    return m_station == nullptr;
}

void StationDesk::ShowCommands() {
    StationCommands commands;
    commands.open = !m_kiosk && m_station == nullptr;
    commands.start = m_setup != nullptr && m_station == nullptr && !m_closing;
    commands.stop = m_station != nullptr && !m_station->Stopping();
    m_view.EnableCommands(commands);
}

void StationDesk::ShowTiles() {
    const std::vector<Tile>& tiles = m_tiles.Tiles();
    for (std::size_t i = 0; i < tiles.size(); ++i) {
        m_view.ShowTile(i, tiles[i]);
    }
}

LaneTally StationDesk::TallyNow(const LaneTally& station) const {
    LaneTally tally = station;
    tally.written += m_earlier.written;
    tally.failed += m_earlier.failed;
    tally.interrupted += m_earlier.interrupted;
    return tally;
}

void StationDesk::OnLaneStarted(const RunningLane& lane) {
    m_tiles.Started(lane);
    ShowTiles();
}

void StationDesk::OnLaneEnded(const RunningLane& lane, const LaneTally& tally) {
    m_tiles.Ended(lane);
    ShowTiles();
    m_records.push_back(EndedLaneText(lane));
    while (m_records.size() > STATION_RECORD_LINES) {
        m_records.pop_front();
    }
    m_view.ShowRecords({m_records.begin(), m_records.end()});
    m_view.ShowTally(TallyText(TallyNow(tally)));
}

void StationDesk::OnUnplugged(std::int32_t, const std::string&) {
    // The slot's tile keeps its last result until the next unit is plugged in there.
}

void StationDesk::OnPolled(const std::list<RunningLane>& lanes, const LaneTally& tally) {
    if (m_tiles.Follow(lanes)) {
        ShowTiles();
    }
    m_view.ShowTally(TallyText(TallyNow(tally)));
    if (m_station != nullptr && m_station->Stopping()) {
        const int committed = CommittedLanes(lanes);
        if (committed > 0) {
            m_view.ShowStatus(std::to_string(committed) +
                              (committed == 1 ? " unit still writes" : " units still write") +
                              " its flash: keep it plugged in until it says PASS");
        }
    }
}

} // namespace knot::station
