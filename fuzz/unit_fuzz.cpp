// The identity query and the download, driven as the windows and knot-fdt drive them, against a
// unit whose every answer the input chooses. One thread; the only clock is the wait's ticks,
// which the harness counts. The checker knows each packet the unit was sent and whether its own
// answer reached the tool before the next packet, and asserts the tool's promises.
#include "expected_packets.h"
#include "fuzz_trace.h"
#include "narration.h"
#include "operator_texts.h"
#include "promise.h"
#include "unit_world.h"
#include "window_commands.h"
#include "window_observer.h"
#include "worker_turns.h"

#include <cstdio>
#include <memory>
#include <optional>

namespace knot::fuzz {
using namespace knot::logic;

namespace {

constexpr int MAX_RUNS = 3;
constexpr int MAX_PLUGS = 3;
// Reads between two packets: the identity reader's 10 tries, the budget renewed by 64 answers
// that do not count, and slack.
constexpr int MAX_READS_PER_PACKET = 10 + 3 * 65 + 64;

class NoDialogs : public WindowDialogs {
  public:
    std::optional<std::string> ChooseSRecordFile() override { return std::nullopt; }
    void ShowAboutBox() override {}
};

struct RunMark {
    std::size_t firstPacket = 0;
    std::size_t firstBox = 0;
    std::optional<std::size_t> commitPacket;
    std::uint64_t ticksAtCommit = 0;
};

class UnitHarness {
  public:
    UnitHarness(const std::uint8_t* data, std::size_t size);
    void Run();

  private:
    WorldReaction React(const Packet& packet);
    bool TakeIdleStep();
    void PressStart();
    void CheckRunEnd(const std::string& text);
    void CheckIdle();
    void Finish();
    struct QueryTruth {
        std::size_t firstPacket = 0;
        std::array<bool, IDENTITY_ROW_COUNT> accepted{};
    };
    // The last identity query of the unit's current plug: whether each row's answer was read.
    std::optional<QueryTruth> LastQuery() const;
    std::size_t FlashBlockCount() const { return m_controller->Image().FlashBlockCount(); }

    FuzzedDataProvider m_input;
    UnitWorld m_world;
    WorldPort m_port;
    WorkerTurns m_turns{m_port};
    WindowObserver m_view;
    FuzzTrace m_trace;
    NoDialogs m_dialogs;
    std::unique_ptr<FlashTransferController> m_controller;
    std::vector<Packet> m_expectedRun;

    std::uint64_t m_ticks = 0;
    std::optional<std::uint64_t> m_vanishAtTick;
    bool m_closeRequested = false;
    bool m_closed = false;
    int m_runs = 0;
    int m_plugs = 1;
    std::size_t m_plugPacket = 0;        // the first packet of the unit's current plug
    std::size_t m_lastSuccessPacket = 0; // a run written since: Start stays off
    std::optional<std::size_t> m_lastCommitPacket;
    bool m_success = false;
    std::optional<RunMark> m_run;
};

UnitHarness::UnitHarness(const std::uint8_t* data, std::size_t size)
    : m_input(data, size), m_world(ReadUnitWorld(m_input)),
      m_port([this](int, const Packet& packet) { return React(packet); }) {
    UnitConfig unit;
    unit.number = 0;
    unit.packetSize = m_world.packetSize;
    m_port.AddInterface(unit);

    LogicServices services;
    services.sleep = [this](std::chrono::milliseconds) {
        ++m_ticks;
        if (m_vanishAtTick && m_ticks == *m_vanishAtTick) {
            m_port.Unplug(0); // during the wait after the commit
        }
    };
    services.startThread = m_turns.Starter();
    services.beep = [] {};
    services.diagnostics = [](std::string_view) {};
    services.timing = {std::chrono::milliseconds(0), std::chrono::milliseconds(0),
                       std::chrono::milliseconds(0), std::chrono::hours(1)};
    m_controller = std::make_unique<FlashTransferController>(*m_world.profile, m_view, m_port,
                                                             m_trace.Log(), services);
    ReadImage(m_input, m_controller->Image());
    m_controller->SetCommitWait({m_world.commitWaitSteps, COMMIT_WAIT_TICK});
    m_expectedRun = ExpectedRun(*m_world.profile, m_controller->Image(), m_world.packetSize);
    m_view.inMessageBox = [this](const std::string& text) { CheckRunEnd(text); };
    // A finished wait of a watcher that is stopped: most watchers end at once, some overrun.
    m_port.onStopSignalled = [this] {
        if (m_input.ConsumeIntegral<std::uint8_t>() % 4 != 3) {
            m_turns.RunReady();
        }
    };
}

WorldReaction UnitHarness::React(const Packet& packet) {
    Promise(!m_closed, "no packet reaches the unit after the window is closed");
    Promise(packet.size() == m_world.packetSize, "every packet has the unit's packet size");
    const CommandCode code = PacketCommandCode(packet.data());
    std::vector<std::uint8_t> payload;
    bool query = false;
    for (int row = 0; row < IDENTITY_ROW_COUNT; ++row) {
        if (code == m_world.profile->identityQueryCodes[row]) {
            query = true;
            Promise(!m_controller->IsDownloadRunning(), "no identity query during a download");
            Promise(packet == ExpectedCommand(code, 0, m_world.packetSize),
                    "an identity query is sent as its command text says");
            payload = m_world.identity[row];
        }
    }
    if (m_run && m_run->commitPacket) {
        Promise(false, "nothing is sent to the unit after the commit");
    }
    if (m_run && !m_run->commitPacket && !query) {
        const std::size_t position = m_port.Packets().size() - m_run->firstPacket;
        Promise(
            position < m_expectedRun.size() && packet == m_expectedRun[position],
            "a run sends the prepare, the image's blocks in order and the commit, byte for byte");
        for (std::size_t i = m_run->firstPacket; i < m_port.Packets().size(); ++i) {
            Promise(m_port.Packets()[i].accepted,
                    "nothing follows a packet the unit did not acknowledge");
        }
        if (position + 1 == m_expectedRun.size()) {
            m_run->commitPacket = m_port.Packets().size();
            m_run->ticksAtCommit = m_ticks;
            const auto vanish = m_input.ConsumeIntegral<std::uint8_t>();
            if (vanish % 4 == 1) {
                m_vanishAtTick = m_ticks + 1 + vanish / 4 % (m_world.commitWaitSteps + 1);
            }
        }
    } else if (!query) {
        Promise(false, "no block or command outside a run, other than the identity queries");
    }
    return ReadReaction(m_input, code, m_world.packetSize, payload, m_closeRequested);
}

void UnitHarness::PressStart() {
    ++m_runs;
    Narrate("operator: Start");
    m_run = RunMark{m_port.Packets().size(), m_view.boxes.size(), std::nullopt, 0};
    m_vanishAtTick.reset();
    RunWindowCommand(IDC_START, *m_controller, m_dialogs);
}

void UnitHarness::CheckRunEnd(const std::string& text) {
    if (text != DOWNLOAD_DONE_TEXT && text != DOWNLOAD_FAILED_TEXT) {
        return;
    }
    Promise(m_run.has_value(), "a download's closing message belongs to a run");
    Promise(m_view.boxes.size() == m_run->firstBox + 1,
            "a run ends with exactly one closing message");
    const auto& packets = m_port.Packets();
    bool acknowledged = true;
    for (std::size_t i = m_run->firstPacket; i < packets.size(); ++i) {
        acknowledged = acknowledged && (packets[i].accepted || i == m_run->commitPacket);
    }
    const bool complete = m_run->commitPacket && packets[*m_run->commitPacket].sent;
    const bool waited = complete && m_ticks - m_run->ticksAtCommit == m_world.commitWaitSteps + 1;
    // A unit that vanishes during the wait may be noticed before its last step or after it.
    const bool stayed = m_port.Interface(0).present;
    const bool written = acknowledged && complete && waited;
    if (text == DOWNLOAD_DONE_TEXT) {
        Promise(written, "written only when the prepare and every block were acknowledged, the "
                         "commit went out and the wait ran to its end");
        const WorldInterface& unit = m_port.Interface(0);
        const FirmwareImage& image = m_controller->Image();
        for (const auto& [number, block] : unit.cpuBlocks) {
            Promise(std::equal(block.begin(), block.end(),
                               image.CpuRegion.begin() + (number - 1) * DATA_BLOCK_SIZE),
                    "a written unit's CPU memory holds the image's blocks");
        }
        Promise(unit.flashBlocks.size() == FlashBlockCount(),
                "a written unit holds every flash block up to the extent");
        for (const auto& [number, block] : unit.flashBlocks) {
            Promise(std::equal(block.begin(), block.end(),
                               image.FlashRegion.begin() + (number - 1) * DATA_BLOCK_SIZE),
                    "a written unit's flash memory holds the image's blocks");
        }
        m_success = true;
        m_lastSuccessPacket = packets.size();
    } else {
        Promise(!written || !stayed, "a run whose every packet was acknowledged, whose commit "
                                     "went out, whose wait ended and whose unit stayed is "
                                     "reported written");
    }
    m_run.reset();
}

std::optional<UnitHarness::QueryTruth> UnitHarness::LastQuery() const {
    const auto& packets = m_port.Packets();
    const auto& codes = m_world.profile->identityQueryCodes;
    for (std::size_t first = packets.size(); first-- > m_plugPacket;) {
        if (PacketCommandCode(packets[first].bytes.data()) != codes[0]) {
            continue;
        }
        QueryTruth truth{first, {}};
        for (std::size_t row = 0; row < truth.accepted.size(); ++row) {
            const std::size_t i = first + row;
            truth.accepted[row] = i < packets.size() &&
                                  PacketCommandCode(packets[i].bytes.data()) == codes[row] &&
                                  packets[i].accepted;
        }
        return truth;
    }
    return std::nullopt;
}

// What an identity row shows for an accepted answer carrying `payload` from byte 14 on: the
// checksum row two bytes in hexadecimal, the others the text up to the first NUL of 8 bytes.
std::string ExpectedIdentityText(int row, std::vector<std::uint8_t> payload) {
    payload.resize(8, 0);
    if (row == 2) {
        char text[8];
        std::snprintf(text, sizeof text, "%02X%02X", payload[0], payload[1]);
        return text;
    }
    std::string text(payload.begin(), payload.end());
    return text.substr(0, text.find('\0'));
}

void UnitHarness::CheckIdle() {
    Promise(!m_controller->IsDownloadRunning(), "a run never stalls: its steps go on to its end");
    Promise(m_view.status.empty(), "after a run the status line is empty");
    Promise(m_view.waitCursorDepth == 0, "the wait cursor ends as often as it begins");
    const bool present = m_port.Interface(0).present;
    const auto query = LastQuery();
    const bool answered = query && query->accepted[0] && query->accepted[1] && query->accepted[2];
    const bool ready = present && answered;
    const bool written = query && m_success && m_lastSuccessPacket > query->firstPacket;
    const bool committed = query && m_lastCommitPacket && *m_lastCommitPacket > query->firstPacket;
    Promise(m_controller->DeviceReady() == ready,
            "a unit is ready exactly when it is present and answered its three identity rows");
    Promise(m_view.startEnabled == (ready && !written),
            "Start is enabled exactly when an image is loaded, a unit is ready and no run is "
            "going, and not after a written run until the unit is found again");
    const bool placeholders = !present || !query || committed;
    for (int row = 0; row < IDENTITY_ROW_COUNT; ++row) {
        const std::string expected = !placeholders && query->accepted[row]
                                         ? ExpectedIdentityText(row, m_world.identity[row])
                                         : IDENTITY_PLACEHOLDER;
        Promise(m_view.rowCount == IDENTITY_ROW_COUNT && m_view.rows[row][1] == expected,
                "an identity row shows the unit's answer, or its placeholder when there is none");
    }
}

bool UnitHarness::TakeIdleStep() {
    if (m_closeRequested) {
        return false;
    }
    if (m_view.startEnabled && m_runs < MAX_RUNS) {
        PressStart();
        return true;
    }
    if (!m_port.Interface(0).present && m_plugs < MAX_PLUGS && m_input.ConsumeBool()) {
        ++m_plugs;
        m_plugPacket = m_port.Packets().size();
        m_port.Replug(0);
        return true;
    }
    return false;
}

void UnitHarness::Run() {
    m_controller->InitializeLogic();
    const std::uint64_t bound =
        MAX_RUNS * (CPU_BLOCK_COUNT + FlashBlockCount() + m_world.commitWaitSteps + 8) +
        16 * MAX_PLUGS;
    std::size_t checkedPackets = 0;
    for (;;) {
        Promise(m_view.handled <= bound, "the tool ends within a bound of steps");
        if (m_closeRequested) {
            break; // the operator closes the window between two steps
        }
        if (m_turns.AnyReady() && (m_view.queue.empty() || m_input.ConsumeBool())) {
            m_turns.RunReady();
        } else if (!m_view.PumpOne(*m_controller)) {
            CheckIdle();
            if (!TakeIdleStep()) {
                break;
            }
        }
        const auto& packets = m_port.Packets();
        for (; checkedPackets + 1 < packets.size(); ++checkedPackets) {
            Promise(packets[checkedPackets].receives <= MAX_READS_PER_PACKET,
                    "every wait for an answer ends within a bound of reads");
        }
        if (!packets.empty() && m_run && m_run->commitPacket) {
            m_lastCommitPacket = m_run->commitPacket;
        }
    }
    Finish();
}

void UnitHarness::Finish() {
    const std::size_t boxes = m_view.boxes.size();
    Narrate("operator: closes the window");
    m_controller->OnClose();
    m_closed = true;
    const std::size_t posted = m_view.queue.size();
    // The window waits for its workers as it goes: each stopped one takes its last turn.
    m_turns.RunReady(true);
    Promise(m_turns.Alive() == 0, "after the close no worker is left");
    Promise(m_view.queue.size() == posted, "no worker posts a message after the close");
    Promise(m_view.boxes.size() == boxes, "closing the window shows no message");
    Promise(m_port.OpenFiles() == 0 && m_port.OpenSets() == 0,
            "the unit and every interface set are closed at the end");
    Promise(m_trace.Lines() == m_port.Exchanges(), "one trace line per exchange with the unit");
}

} // namespace

} // namespace knot::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace knot::fuzz;
    UnitHarness harness(data, size);
    harness.Run();
    return 0;
}
