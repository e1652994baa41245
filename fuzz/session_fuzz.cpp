// The window's session in any order the input gives: interfaces plugged and unplugged (units,
// foreign products, interfaces that cannot be opened or read), loads that succeed or fail, Start,
// Open, Initialize and the close, messages handled, worker turns, message boxes whose loop handles
// what was posted meanwhile. One thread; the checker asserts the rules of Start, Open and
// Initialize, the identity rows, one run at a time, and a close that leaves nothing behind.
#include "command_texts.h"
#include "fuzz_trace.h"
#include "narration.h"
#include "operator_texts.h"
#include "promise.h"
#include "unit_world.h"
#include "window_commands.h"
#include "window_observer.h"
#include "worker_turns.h"

#include <cstdio>
#include <fstream>
#include <memory>
#include <optional>

namespace knot::fuzz {
using namespace knot::device;
using namespace knot::logic;

namespace {

constexpr int MAX_INTERFACES = 4;
constexpr int MAX_STEPS = 4000;
constexpr int MAX_NESTED_MESSAGES = 8;
constexpr CommandCode PREPARE_CODE = 0x3F0F;
constexpr CommandCode COMMIT_CODE = 0x3F80;

// The files File > Open may be given: a good image, one with a character that is no hexadecimal
// digit, and one that does not exist.
const std::string& FilePath(int which) {
    static const std::string paths[] = {FuzzTrace::Folder() + "/good.mot",
                                        FuzzTrace::Folder() + "/bad.mot",
                                        FuzzTrace::Folder() + "/missing.mot"};
    static const bool written = [] {
        std::ofstream(paths[0]) << "S107000001020304EE\nS9030000FC\n";
        std::ofstream(paths[1]) << "S1070000010203G4EE\nS9030000FC\n";
        return true;
    }();
    (void)written;
    return paths[which];
}

class ChosenFile : public WindowDialogs {
  public:
    std::optional<std::string> next;
    std::optional<std::string> ChooseSRecordFile() override { return next; }
    void ShowAboutBox() override {}
};

class SessionHarness {
  public:
    SessionHarness(const std::uint8_t* data, std::size_t size);
    void Run();

  private:
    WorldReaction React(int interface, const std::vector<std::uint8_t>& packet);
    void AddInterface();
    void TakeStep();
    void Command(int id);
    void InMessageBox(const std::string& text);
    void CheckRules();
    void CheckQuiet();
    void Finish();
    bool Quiet() const { return m_view.queue.empty() && !m_turns.AnyReady(); }

    FuzzedDataProvider m_input;
    const VariantProfile& m_profile;
    WorldPort m_port;
    WorkerTurns m_turns{m_port};
    WindowObserver m_view;
    FuzzTrace m_trace;
    ChosenFile m_dialogs;
    std::unique_ptr<FlashTransferController> m_controller;

    bool m_closed = false;
    int m_nesting = 0;
    int m_openRuns = 0;          // runs begun whose closing message has not been shown
    int m_queries = 0;           // identity queries begun (their first row sent)
    int m_writtenAtQuery = -1;   // the query after which the last written run came
    int m_committedAtQuery = -1; // the query after which the last commit went out
};

SessionHarness::SessionHarness(const std::uint8_t* data, std::size_t size)
    : m_input(data, size), m_profile(m_input.ConsumeBool() ? VariantPProfile() : VariantQProfile()),
      m_port([this](int interface, const std::vector<std::uint8_t>& packet) {
          return React(interface, packet);
      }) {
    LogicServices services;
    services.sleep = [](std::chrono::milliseconds) {};
    services.startThread = m_turns.Starter();
    services.beep = [] {};
    services.diagnostics = [](std::string_view) {};
    services.timing = {std::chrono::milliseconds(0), std::chrono::milliseconds(0),
                       std::chrono::milliseconds(0), std::chrono::hours(1)};
    m_controller = std::make_unique<FlashTransferController>(m_profile, m_view, m_port,
                                                             m_trace.Log(), services);
    m_controller->SetCommitWait(
        {m_input.ConsumeIntegralInRange<std::uint32_t>(0, 3), COMMIT_WAIT_TICK});
    m_view.inMessageBox = [this](const std::string& text) { InMessageBox(text); };
    m_port.onStopSignalled = [this] {
        if (m_input.ConsumeIntegral<std::uint8_t>() % 4 != 3) {
            m_turns.RunReady();
        }
    };
    for (int n = m_input.ConsumeIntegralInRange(0, 2); n > 0; --n) {
        AddInterface();
    }
}

void SessionHarness::AddInterface() {
    UnitConfig config;
    config.number = m_port.InterfaceCount();
    config.programName = "UNIT" + std::to_string(config.number);
    config.checksum = static_cast<std::uint16_t>(0x1234 + config.number);
    const int kind = m_input.ConsumeIntegralInRange(0, 7);
    config.packetSize = kind == 1 ? 62 : 64;
    config.productId = kind == 2 ? 0x7833 : UNIT_PRODUCT_ID; // 2: another product
    config.hasDescriptor = kind != 4;
    config.hasEvent = kind != 6;
    config.hasNumber = kind != 7;
    const int added = m_port.AddInterface(config);
    m_port.Interface(added).openFails = kind == 3;
    m_port.Interface(added).pathUnreadable = kind == 5;
    Narrate("world: interface %d of kind %d plugged in", added, kind);
}

WorldReaction SessionHarness::React(int interface, const std::vector<std::uint8_t>& packet) {
    Promise(!m_closed, "no packet reaches a unit after the window is closed");
    const CommandCode code = PacketCommandCode(packet.data());
    const UnitConfig& config = m_port.Interface(interface).config;
    std::vector<std::uint8_t> payload;
    if (code == m_profile.identityQueryCodes[0]) {
        ++m_queries;
        payload.assign(config.programName.begin(), config.programName.end());
    } else if (code == m_profile.identityQueryCodes[1]) {
        payload.assign(config.version.begin(), config.version.end());
    } else if (code == m_profile.identityQueryCodes[2]) {
        payload = {static_cast<std::uint8_t>(config.checksum >> 8),
                   static_cast<std::uint8_t>(config.checksum & 0xFF)};
    } else if (code == COMMIT_CODE) {
        m_committedAtQuery = m_queries;
    }
    if (code == PREPARE_CODE || code == COMMIT_CODE || code == INITIALIZE_COMMAND_CODE) {
        Promise(m_controller->DeviceReady(), "only a ready unit is written to");
    }
    bool closeAfter = false; // the session's closes are steps of their own
    return ReadReaction(m_input, code, config.packetSize, payload, closeAfter);
}

void SessionHarness::Command(int id) {
    const bool running = m_controller->IsDownloadRunning();
    const std::size_t packets = m_port.Packets().size();
    const FirmwareImage& image = m_controller->Image();
    const bool loaded = image.imageLoaded;
    const std::uint32_t extent = image.flashExtent;
    Narrate("operator: command %d%s", id, running ? " during a download" : "");
    RunWindowCommand(id, *m_controller, m_dialogs);
    if (running) {
        Promise(m_port.Packets().size() == packets, "a command during a download sends nothing");
        Promise(image.imageLoaded == loaded && image.flashExtent == extent,
                "the image never changes under a running download");
    }
}

void SessionHarness::InMessageBox(const std::string& text) {
    if (text == DOWNLOAD_DONE_TEXT || text == DOWNLOAD_FAILED_TEXT) {
        Promise(m_openRuns == 1, "a run ends with exactly one closing message");
        m_openRuns = 0;
        if (text == DOWNLOAD_DONE_TEXT) {
            m_writtenAtQuery = m_queries;
        }
    }
    if (m_nesting >= 2) {
        return;
    }
    // The box's own loop handles what is posted meanwhile, and the workers go on.
    ++m_nesting;
    for (int n = m_input.ConsumeIntegralInRange(0, MAX_NESTED_MESSAGES); n > 0; --n) {
        if (!m_view.PumpOne(*m_controller)) {
            m_turns.RunReady();
        }
    }
    --m_nesting;
}

void SessionHarness::TakeStep() {
    const int present = m_port.PresentCount();
    switch (m_input.ConsumeIntegralInRange(0, 11)) {
    case 4:
        m_turns.RunReady();
        break;
    case 5:
        if (m_port.InterfaceCount() < MAX_INTERFACES && m_input.ConsumeBool()) {
            AddInterface();
        } else if (m_port.InterfaceCount() > 0) {
            m_port.Replug(m_input.ConsumeIntegralInRange(0, m_port.InterfaceCount() - 1));
        }
        break;
    case 6:
        if (present > 0) {
            m_port.Unplug(m_input.ConsumeIntegralInRange(0, m_port.InterfaceCount() - 1));
        }
        break;
    case 7:
    case 10: {
        const int which = m_input.ConsumeIntegralInRange(0, 3);
        m_dialogs.next = which < 3 ? std::optional(FilePath(which)) : std::nullopt;
        if (m_view.openEnabled || m_controller->IsDownloadRunning()) {
            Command(ID_FILE_OPEN);
        }
        break;
    }
    case 8:
        if (m_view.startEnabled || m_controller->IsDownloadRunning()) {
            Command(IDC_START);
        }
        break;
    case 9:
        if (m_profile.hasInitializeCommand &&
            (m_view.initializeEnabled || m_controller->IsDownloadRunning())) {
            Command(ID_DATA_INITIALIZE);
        }
        break;
    case 11:
        m_closed = true; // the operator closes the window (Escape)
        break;
    default:
        if (!m_view.PumpOne(*m_controller)) {
            m_turns.RunReady();
        }
        break;
    }
}

// What an identity row of `config` shows once the unit answered it.
std::string IdentityOf(const UnitConfig& config, int row) {
    if (row == 2) {
        char text[8];
        std::snprintf(text, sizeof text, "%04X", config.checksum);
        return text;
    }
    const std::string& value = row == 0 ? config.programName : config.version;
    return value.substr(0, 8);
}

void SessionHarness::CheckRules() {
    const bool ready = m_controller->DeviceReady();
    const bool running = m_controller->IsDownloadRunning();
    const bool loaded = m_controller->Image().imageLoaded;
    const bool written = m_writtenAtQuery == m_queries;
    const bool committed = m_committedAtQuery == m_queries;
    Promise(m_view.startEnabled == (loaded && ready && !running && !written),
            "Start is enabled exactly when an image is loaded, a unit is ready and no run is "
            "going, and not after a written run until the unit is found again");
    Promise(m_view.openEnabled == !running, "File > Open is offered exactly when no run is going");
    Promise(m_view.initializeEnabled == (ready && !running && !committed),
            "Data > Initialize is offered exactly when a unit is ready and no run is going");
    Promise(m_view.rowCount == IDENTITY_ROW_COUNT, "the identity list always has its three rows");
    const std::string& path = m_controller->Session().DevicePath();
    for (int row = 0; row < IDENTITY_ROW_COUNT; ++row) {
        if (path.empty()) {
            Promise(m_view.rows[row][1] == IDENTITY_PLACEHOLDER,
                    "the identity rows show placeholders while no unit is open");
        } else if (ready && !committed) {
            for (int i = 0; i < m_port.InterfaceCount(); ++i) {
                const UnitConfig& config = m_port.Interface(i).config;
                if (UnitDevicePath(config) == path) {
                    Promise(m_view.rows[row][1] == IdentityOf(config, row),
                            "a ready unit's identity rows show its answers");
                }
            }
        }
    }
}

void SessionHarness::CheckQuiet() {
    Promise(!m_controller->IsDownloadRunning(), "a run never stalls: its steps go on to its end");
    Promise(m_view.waitCursorDepth == 0, "the wait cursor ends as often as it begins");
    const std::string& path = m_controller->Session().DevicePath();
    // Interfaces that could not be judged are looked at again after a while, on a clock the
    // harness does not move: a unit beside them is found then, which the harness does not see.
    bool unjudged = false;
    for (int i = 0; i < m_port.InterfaceCount(); ++i) {
        const WorldInterface& unit = m_port.Interface(i);
        unjudged =
            unjudged ||
            (unit.present && (unit.openFails || unit.pathUnreadable || !unit.config.hasDescriptor));
    }
    for (int i = 0; i < m_port.InterfaceCount(); ++i) {
        const WorldInterface& unit = m_port.Interface(i);
        if (!path.empty() && UnitDevicePath(unit.config) == path) {
            Promise(unit.present, "an unplugged unit is noticed");
        }
        const bool qualifies = unit.present && !unit.openFails && !unit.pathUnreadable &&
                               unit.config.hasDescriptor &&
                               unit.config.productId == UNIT_PRODUCT_ID;
        Promise(!qualifies || unjudged || !path.empty(), "a unit that is plugged in is found");
    }
}

void SessionHarness::Finish() {
    Narrate("operator: closes the window");
    const std::size_t boxes = m_view.boxes.size();
    m_controller->OnClose();
    m_closed = true;
    const std::size_t posted = m_view.queue.size();
    m_turns.RunReady(true); // the window waits for its workers as it goes
    Promise(m_turns.Alive() == 0, "after the close no worker is left");
    Promise(m_view.queue.size() == posted, "no worker posts a message after the close");
    Promise(m_view.boxes.size() == boxes, "closing the window shows no message");
    Promise(m_port.OpenFiles() == 0 && m_port.OpenSets() == 0,
            "the unit and every interface set are closed at the end");
    Promise(m_trace.Lines() == m_port.Exchanges(), "one trace line per exchange with a unit");
}

void SessionHarness::Run() {
    m_view.onRunBegun = [this] {
        Promise(m_openRuns == 0, "never two runs at once");
        ++m_openRuns;
    };
    m_controller->InitializeLogic();
    for (int step = 0; step < MAX_STEPS && m_input.remaining_bytes() > 0 && !m_closed; ++step) {
        TakeStep();
        CheckRules();
        if (Quiet()) {
            CheckQuiet();
        }
    }
    m_closed = false;
    // Whatever is under way comes to rest before the window closes.
    // Bound: a download of the image's one block, its wait, and the messages around it.
    for (std::size_t step = 0; step < 2 * CPU_BLOCK_COUNT && !Quiet(); ++step) {
        if (!m_view.PumpOne(*m_controller)) {
            m_turns.RunReady();
        }
    }
    Promise(Quiet(), "the session comes to rest within a bound of steps");
    CheckRules();
    CheckQuiet();
    Finish();
}

} // namespace

} // namespace knot::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace knot::fuzz;
    SessionHarness harness(data, size);
    harness.Run();
    return 0;
}
