// The knot-unit-sim process seen through the simulated driver port and the device layer: unit
// selection, packet sizes, identity answers, faults, capture and memory files, unplugging.
#include "knot_names.h"

#include "case_printer.h"
#include "file_text.h"
#include "sim_server_process.h"

#include "command_texts.h"
#include "device_access.h"
#include "device_access_seam.h"
#include "device_packet_link.h"
#include "disconnect_event.h"
#include "interface_survey.h"
#include "packet_protocol.h"
#include "sim_driver_port.h"
#include "transfer_log.h"
#include "variant_profile.h"
#include "virtual_unit.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <regex>
#include <thread>
#include <unistd.h>

namespace {

using knot_test::PrintTo;

// Waits that must end because of an event, never because this much time passed.
constexpr int LONG_WAIT_MS = 30000;

// One server plus the host side that talks to it through the simulated port.
struct Bench {
    explicit Bench(std::vector<std::string> serveArgs = {})
        : server(std::move(serveArgs)),
          log(server.Root() + "/trace.txt", server.Root() + "/trace.1.txt"),
          port(server.Directory(), SHORT_RECEIVE_TIMEOUT_MS), access(port, log),
          packets(access, link), protocol(packets, [] {}) {
        access.SetDiagnosticSink([](std::string_view) {});
    }
    ~Bench() {
        if (link.IsOpen())
            access.CloseDeviceLink(link);
    }

    SimServerProcess server;
    TransferLog log;
    SimDriverPort port;
    DeviceAccess access;
    DeviceLink link;
    DevicePacketLink packets;
    PacketProtocol protocol;
};

std::vector<std::uint8_t> ReadBytes(const std::string& path) {
    const std::string bytes = ReadFile(path);
    return {bytes.begin(), bytes.end()};
}

std::vector<std::string> ReadLines(const std::string& path) {
    std::ifstream file(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);)
        lines.push_back(line);
    return lines;
}

std::array<std::uint8_t, DATA_BLOCK_SIZE> BlockOf(std::uint8_t first) {
    std::array<std::uint8_t, DATA_BLOCK_SIZE> block{};
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<std::uint8_t>(first + i);
    return block;
}

TEST(SimProcessTest, NoRunningServerMeansNoUnitsAndNoHang) {
    char root[] = "/tmp/knot-sim-test-XXXXXX";
    ASSERT_NE(::mkdtemp(root), nullptr);
    const std::string folder = root;
    // A control socket left behind by a server that died: nobody listens on it any more.
    const int stale = SimListen(SimJoinPath(folder, SIM_CONTROL_SOCKET));
    ASSERT_GE(stale, 0);
    ::close(stale);

    for (const std::string& directory : {folder, folder + "/missing"}) {
        SimDriverPort port(directory);
        EXPECT_EQ(CountDeviceInterfaces(port), 0) << directory;
        const PortHandle set = port.GetClassDevices();
        ASSERT_NE(set, INVALID_PORT_HANDLE);
        EXPECT_EQ(WalkInterfaces(port, set, false), 0u);
        port.DestroyDeviceInfoList(set);
        EXPECT_EQ(port.CreateFile(UnitDevicePath(UnitConfig{})), INVALID_PORT_HANDLE);
        EXPECT_EQ(port.OpenNamedEvent(DisconnectEventName(0)), INVALID_PORT_HANDLE);

        TransferLog log(folder + "/trace.txt", folder + "/trace.1.txt");
        DeviceAccess access(port, log);
        access.SetDiagnosticSink([](std::string_view) {});
        DeviceLink link;
        EXPECT_FALSE(access.OpenDeviceLink(link));
        EXPECT_FALSE(link.IsOpen());
    }
    for (const char* command : {"list", "unplug"}) {
        const CommandResult result = RunSimCommand({command, "0"}, folder);
        EXPECT_EQ(result.exitCode, 1) << command;
    }
    std::filesystem::remove_all(folder);
}

class SimPacketSizeTest : public ::testing::TestWithParam<int> {};

TEST_P(SimPacketSizeTest, SelectsTheFirstUnitWithTheProductIdInPlugOrder) {
    Bench bench;
    ASSERT_TRUE(bench.server.Ready());
    const std::string size = std::to_string(GetParam());
    ASSERT_EQ(bench.server.Plug({"--product", "0x1234"}), 0);
    ASSERT_EQ(
        bench.server.Plug({"--vendor", "0x0DEF", "--packet-size", size, "--slot", "bench " + size}),
        1);
    ASSERT_EQ(bench.server.Plug({}), 2);
    EXPECT_EQ(CountDeviceInterfaces(bench.port), 3);
    EXPECT_EQ(SurveyUnit(bench.port, 1).location, "bench " + size);
    EXPECT_EQ(SurveyUnit(bench.port, 2).location, "");

    ASSERT_TRUE(bench.access.OpenDeviceLink(bench.link));
    EXPECT_EQ(bench.link.deviceNumber, 1);
    EXPECT_EQ(bench.link.packetSize, GetParam());
    const PortHandle event = bench.port.OpenNamedEvent(DisconnectEventName(1));
    EXPECT_NE(event, INVALID_PORT_HANDLE);
    bench.port.CloseEvent(event);
}

TEST_P(SimPacketSizeTest, AnswersTheIdentityQueriesOfBothModels) {
    Bench bench;
    ASSERT_TRUE(bench.server.Ready());
    ASSERT_EQ(bench.server.Plug({"--packet-size", std::to_string(GetParam()), "--program-name",
                                 "KNOTTEST", "--version", "2.10", "--checksum", "BEEF"}),
              0);
    ASSERT_TRUE(bench.access.OpenDeviceLink(bench.link));

    for (const VariantProfile* profile : {&VariantPProfile(), &VariantQProfile()}) {
        const auto& codes = profile->identityQueryCodes;
        const std::array<std::string, 3> expected = {
            std::string("KNOTTEST"), std::string("2.10\0\0\0\0", 8), std::string("\xBE\xEF", 2)};
        for (std::size_t i = 0; i < codes.size(); ++i) {
            ASSERT_EQ(bench.protocol.SendCommandText(IdentityQueryText(codes[i])), codes[i]);
            std::uint8_t response[PACKET_IMAGE_SIZE];
            std::size_t received = 0;
            ASSERT_TRUE(bench.access.ReceiveFromDevice(bench.link.handle, response, sizeof response,
                                                       received));
            EXPECT_EQ(received, static_cast<std::size_t>(GetParam()));
            EXPECT_EQ(response[PACKET_CODE_HIGH_OFFSET], 0x48);
            EXPECT_EQ(response[PACKET_CODE_LOW_OFFSET], codes[i] & 0xFF);
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(response) + PACKET_PARAMETER_OFFSET,
                                  expected[i].size()),
                      expected[i])
                << std::hex << codes[i];
        }
    }
}

INSTANTIATE_TEST_SUITE_P(BothSizes, SimPacketSizeTest, ::testing::Values(62, 64));

TEST(SimProcessTest, UnitsWithoutDescriptorNumberOrEvent) {
    Bench bench;
    ASSERT_TRUE(bench.server.Ready());
    ASSERT_EQ(bench.server.Plug({"--no-descriptor"}), 0);
    ASSERT_EQ(bench.server.Plug({"--no-number"}), 1);
    ASSERT_EQ(bench.server.Plug({"--no-event"}), 2);

    ASSERT_TRUE(bench.access.OpenDeviceLink(bench.link));
    EXPECT_EQ(bench.link.deviceNumber, UNKNOWN_DEVICE_NUMBER);
    const PortHandle unnumbered = bench.port.OpenNamedEvent(DisconnectEventName(-1));
    EXPECT_NE(unnumbered, INVALID_PORT_HANDLE);
    bench.port.CloseEvent(unnumbered);
    EXPECT_NE(bench.port.OpenNamedEvent(DisconnectEventName(0)), INVALID_PORT_HANDLE);
    EXPECT_EQ(bench.port.OpenNamedEvent(DisconnectEventName(1)), INVALID_PORT_HANDLE);
    EXPECT_EQ(bench.port.OpenNamedEvent(DisconnectEventName(2)), INVALID_PORT_HANDLE);
}

// One step of a fault scenario and whether the unit is to acknowledge it.
enum class Step { Prepare, Query, CpuBlock, FlashBlock, Initialize, Commit };
struct Action {
    Step step;
    std::int32_t blockNumber;
    bool acknowledged;
};
struct FaultCase {
    const char* name;
    std::vector<std::string> plugArgs;
    std::vector<Action> actions;
    bool unitGone;
};

class SimFaultTest : public ::testing::TestWithParam<FaultCase> {};

TEST_P(SimFaultTest, PlaysTheFault) {
    const FaultCase& fault = GetParam();
    const VariantProfile& profile = VariantQProfile();
    Bench bench;
    ASSERT_TRUE(bench.server.Ready());
    ASSERT_EQ(bench.server.Plug(fault.plugArgs), 0);
    ASSERT_TRUE(bench.access.OpenDeviceLink(bench.link));

    const auto block = BlockOf(0x40);
    for (std::size_t i = 0; i < fault.actions.size(); ++i) {
        const Action& action = fault.actions[i];
        bool acknowledged = false;
        switch (action.step) {
        case Step::Prepare:
            acknowledged = bench.protocol.WaitForAck(bench.protocol.SendCommandText(
                               PrepareCommandText(profile))) == Exchange::Accepted;
            break;
        case Step::Initialize:
            acknowledged = bench.protocol.WaitForAck(bench.protocol.SendCommandText(
                               InitializeCommandText())) == Exchange::Accepted;
            break;
        case Step::Query: {
            const CommandCode code = profile.identityQueryCodes[0];
            std::uint8_t response[PACKET_IMAGE_SIZE];
            acknowledged =
                bench.protocol.SendCommandText(IdentityQueryText(code)) == code &&
                AwaitResponse(bench.packets, code, ACK_TRIES, response) == Exchange::Accepted;
            break;
        }
        case Step::CpuBlock:
        case Step::FlashBlock:
            acknowledged =
                bench.protocol.SendDataBlock(block.data(), action.blockNumber,
                                             action.step == Step::CpuBlock
                                                 ? profile.cpuBlockType
                                                 : profile.flashBlockType) == Exchange::Accepted;
            break;
        case Step::Commit:
            // Nothing is read after a commit; "acknowledged" means the driver took it.
            acknowledged = bench.protocol.SendCommandText(CommitCommandText(profile)) != 0;
            break;
        }
        EXPECT_EQ(acknowledged, action.acknowledged) << "step " << i;
    }
    EXPECT_EQ(CountDeviceInterfaces(bench.port), fault.unitGone ? 0 : 1);
}

std::vector<std::string> Fault(const std::string& spec, std::vector<std::string> more = {}) {
    more.insert(more.begin(), {"--fault", spec});
    return more;
}

INSTANTIATE_TEST_SUITE_P(
    EveryKind, SimFaultTest,
    ::testing::Values(
        FaultCase{"none",
                  {},
                  {{Step::Prepare, 0, true},
                   {Step::CpuBlock, 1, true},
                   {Step::Initialize, 0, true},
                   {Step::Commit, 0, true}},
                  false},
        FaultCase{"refuse_prepare",
                  Fault("refuse=prepare"),
                  {{Step::Prepare, 0, false}, {Step::CpuBlock, 1, true}},
                  false},
        FaultCase{"refuse_initialize",
                  Fault("refuse=initialize"),
                  {{Step::Initialize, 0, false}, {Step::Prepare, 0, true}},
                  false},
        FaultCase{"silent_initialize",
                  Fault("silent=initialize"),
                  {{Step::Initialize, 0, false}, {Step::Initialize, 0, false}},
                  false},
        FaultCase{"refuse_second_query",
                  Fault("refuse=query:2"),
                  {{Step::Query, 0, true}, {Step::Query, 0, false}, {Step::Query, 0, true}},
                  false},
        FaultCase{
            "silent_cpu_block",
            Fault("silent=cpu:2"),
            {{Step::CpuBlock, 1, true}, {Step::CpuBlock, 2, false}, {Step::FlashBlock, 2, true}},
            false},
        FaultCase{
            "refuse_flash_block",
            Fault("refuse=flash:1"),
            {{Step::CpuBlock, 1, true}, {Step::FlashBlock, 1, false}, {Step::FlashBlock, 2, true}},
            false},
        FaultCase{"stale_answers",
                  Fault("stale=2"),
                  {{Step::Prepare, 0, true}, {Step::Query, 0, true}, {Step::CpuBlock, 1, true}},
                  false},
        FaultCase{"wrong_size_answers",
                  Fault("wrongsize=3"),
                  {{Step::Prepare, 0, true}, {Step::FlashBlock, 1, true}},
                  false},
        FaultCase{"wrong_size_short_unit",
                  Fault("wrongsize=1", {"--packet-size", "62"}),
                  {{Step::Query, 0, true}, {Step::CpuBlock, 1, true}},
                  false},
        FaultCase{"both_extras_and_refusal",
                  Fault("stale=1", {"--fault", "wrongsize=1", "--fault", "refuse=cpu:1"}),
                  {{Step::CpuBlock, 1, false}, {Step::CpuBlock, 2, true}},
                  false},
        FaultCase{"unplug_at_prepare", Fault("unplug=prepare"), {{Step::Prepare, 0, false}}, true},
        FaultCase{"unplug_at_query", Fault("unplug=query:1"), {{Step::Query, 0, false}}, true},
        FaultCase{"unplug_at_cpu_block",
                  Fault("unplug=cpu:3"),
                  {{Step::CpuBlock, 1, true},
                   {Step::CpuBlock, 2, true},
                   {Step::CpuBlock, 3, false},
                   {Step::CpuBlock, 4, false}},
                  true},
        FaultCase{
            "unplug_at_flash_block", Fault("unplug=flash:1"), {{Step::FlashBlock, 1, false}}, true},
        FaultCase{"unplug_at_initialize",
                  Fault("unplug=initialize"),
                  {{Step::Initialize, 0, false}},
                  true},
        FaultCase{"unplug_at_commit",
                  Fault("unplug=commit"),
                  {{Step::Prepare, 0, true}, {Step::Commit, 0, true}, {Step::Prepare, 0, false}},
                  true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SimProcessTest, CommitIsNotAnsweredUnlessRefused) {
    Bench bench;
    ASSERT_TRUE(bench.server.Ready());
    ASSERT_EQ(bench.server.Plug({}), 0);
    ASSERT_EQ(bench.server.Plug({"--fault", "refuse=commit"}), 1);
    ASSERT_TRUE(bench.access.OpenDeviceLink(bench.link));
    const std::string commit = CommitCommandText(VariantPProfile());

    std::uint8_t response[PACKET_IMAGE_SIZE];
    std::size_t received = 0;
    ASSERT_EQ(bench.protocol.SendCommandText(commit), 0x3F80);
    EXPECT_FALSE(
        bench.access.ReceiveFromDevice(bench.link.handle, response, sizeof response, received));
    bench.access.CloseDeviceLink(bench.link);

    bench.link.handle = DeviceAccessSeam::OpenDeviceInterface(bench.access, 1);
    ASSERT_NE(bench.link.handle, NULL_PORT_HANDLE);
    ASSERT_EQ(bench.protocol.SendCommandText(commit), 0x3F80);
    ASSERT_TRUE(
        bench.access.ReceiveFromDevice(bench.link.handle, response, sizeof response, received));
    EXPECT_EQ(response[PACKET_CODE_HIGH_OFFSET], 0xBF);
    EXPECT_EQ(response[PACKET_CODE_LOW_OFFSET], 0x80);
}

TEST(SimProcessTest, ExtraAnswersComeBeforeTheRealOne) {
    Bench bench;
    ASSERT_TRUE(bench.server.Ready());
    ASSERT_EQ(bench.server.Plug({"--fault", "stale=2", "--fault", "wrongsize=1"}), 0);
    ASSERT_TRUE(bench.access.OpenDeviceLink(bench.link));
    ASSERT_EQ(bench.protocol.SendCommandText(InitializeCommandText()), 0x01D2);

    struct Seen {
        std::size_t size;
        std::uint8_t high;
        std::uint8_t low;
    };
    std::vector<Seen> seen;
    std::uint8_t response[PACKET_IMAGE_SIZE];
    std::size_t received = 0;
    while (bench.access.ReceiveFromDevice(bench.link.handle, response, sizeof response, received))
        seen.push_back(
            {received, response[PACKET_CODE_HIGH_OFFSET], response[PACKET_CODE_LOW_OFFSET]});
    ASSERT_EQ(seen.size(), 4u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(seen[i].size, 64u);
        EXPECT_EQ(seen[i].high & 0xC0, 0x40); // accepted, but another command's answer
        EXPECT_NE((seen[i].high & 0x3F) << 8 | seen[i].low, 0x01D2);
    }
    EXPECT_EQ(seen[2].size, 62u);
    EXPECT_EQ(seen[3].size, 64u);
    for (std::size_t i = 2; i < 4; ++i) {
        EXPECT_EQ(seen[i].high, 0x41);
        EXPECT_EQ(seen[i].low, 0xD2);
    }
}

TEST(SimProcessTest, WritesCaptureLinesAndMemoryFiles) {
    Bench bench(
        {"--capture", "{root}/capture.txt", "--save-memory", "{root}", "--latency-us", "500"});
    ASSERT_TRUE(bench.server.Ready());
    ASSERT_EQ(bench.server.Plug({"--packet-size", "62", "--number", "5"}), 5);
    ASSERT_TRUE(bench.access.OpenDeviceLink(bench.link));
    const VariantProfile& profile = VariantQProfile();

    ASSERT_EQ(
        bench.protocol.WaitForAck(bench.protocol.SendCommandText(PrepareCommandText(profile))),
        Exchange::Accepted);
    const auto cpuBlock = BlockOf(0x10);
    const auto flashBlock = BlockOf(0xA0);
    ASSERT_EQ(bench.protocol.SendDataBlock(cpuBlock.data(), 1, profile.cpuBlockType),
              Exchange::Accepted);
    ASSERT_EQ(bench.protocol.SendDataBlock(flashBlock.data(), 3, profile.flashBlockType),
              Exchange::Accepted);
    ASSERT_NE(bench.protocol.SendCommandText(CommitCommandText(profile)), 0);

    const std::vector<std::string> lines = ReadLines(bench.server.Root() + "/capture.txt");
    ASSERT_EQ(lines.size(), 7u); // three commands answered, then the commit
    const std::regex shape("5 [RS] [0-9A-F]{124}");
    const char directions[] = "RSRSRSR";
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_TRUE(std::regex_match(lines[i], shape)) << lines[i];
        EXPECT_EQ(lines[i][2], directions[i]) << i;
    }
    const std::string zeros(124, '0');
    EXPECT_EQ(lines[0], "5 R 010070003000000000003F0F000000000003" + zeros.substr(36));
    EXPECT_EQ(lines[1], "5 S 010070003000000000007F0F" + zeros.substr(24));
    EXPECT_EQ(lines[6], "5 R 010070003000000000003F80000000000003" + zeros.substr(36));

    const auto cpu = ReadBytes(bench.server.Root() + "/unit-5-cpu.bin");
    const auto flash = ReadBytes(bench.server.Root() + "/unit-5-flash.bin");
    ASSERT_EQ(cpu.size(), 0x40000u);
    ASSERT_EQ(flash.size(), 0x80000u);
    EXPECT_TRUE(std::equal(cpuBlock.begin(), cpuBlock.end(), cpu.begin()));
    EXPECT_EQ(std::count(cpu.begin(), cpu.end(), 0xFF), static_cast<long>(cpu.size() - 32));
    EXPECT_TRUE(std::equal(flashBlock.begin(), flashBlock.end(), flash.begin() + 64));
    EXPECT_EQ(std::count(flash.begin(), flash.end(), 0x00), static_cast<long>(flash.size() - 32));
}

TEST(SimProcessTest, UnplugAfterTheCommitEndsAWaitingReceiveAndSignalsTheEvent) {
    Bench bench;
    ASSERT_TRUE(bench.server.Ready());
    ASSERT_EQ(bench.server.Plug({"--fault", "unplug=wait:50"}), 0);
    ASSERT_TRUE(bench.access.OpenDeviceLink(bench.link));
    const PortHandle event =
        bench.port.OpenNamedEvent(DisconnectEventName(bench.link.deviceNumber));
    const PortHandle stop = bench.port.CreateStopEvent();
    ASSERT_NE(event, INVALID_PORT_HANDLE);
    ASSERT_NE(stop, INVALID_PORT_HANDLE);

    bench.port.SetReceiveTimeout(LONG_WAIT_MS);
    ASSERT_NE(bench.protocol.SendCommandText(CommitCommandText(VariantPProfile())), 0);
    const auto before = std::chrono::steady_clock::now();
    std::uint8_t response[PACKET_IMAGE_SIZE];
    std::size_t received = 0;
    EXPECT_FALSE(
        bench.access.ReceiveFromDevice(bench.link.handle, response, sizeof response, received));
    // Ended by the unplug, not by the receive's own time-out.
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(LONG_WAIT_MS));
    EXPECT_EQ(bench.port.WaitForStopOrEvent(stop, event, LONG_WAIT_MS), WaitOutcome::Disconnected);
    EXPECT_EQ(CountDeviceInterfaces(bench.port), 0);
    bench.port.CloseEvent(event);
    bench.port.CloseEvent(stop);
}

TEST(SimProcessTest, UnplugCommandEndsAReceiveThatWaits) {
    Bench bench;
    ASSERT_TRUE(bench.server.Ready());
    ASSERT_EQ(bench.server.Plug({}), 0);
    ASSERT_TRUE(bench.access.OpenDeviceLink(bench.link));
    bench.port.SetReceiveTimeout(LONG_WAIT_MS);

    auto receive = std::async(std::launch::async, [&] {
        std::uint8_t response[PACKET_IMAGE_SIZE];
        std::size_t received = 0;
        return bench.access.ReceiveFromDevice(bench.link.handle, response, sizeof response,
                                              received);
    });
    EXPECT_TRUE(bench.server.Unplug(0));
    ASSERT_EQ(receive.wait_for(std::chrono::milliseconds(LONG_WAIT_MS / 2)),
              std::future_status::ready);
    EXPECT_FALSE(receive.get());
}

TEST(SimProcessTest, WatcherThreadSeesTheUnplugAndTheStopEventWins) {
    Bench bench;
    ASSERT_TRUE(bench.server.Ready());
    ASSERT_EQ(bench.server.Plug({"--number", "3"}), 3);
    ASSERT_TRUE(bench.access.OpenDeviceLink(bench.link));
    SimDriverPort& port = bench.port;
    const PortHandle stop = port.CreateStopEvent();
    const PortHandle event = port.OpenNamedEvent("Global\\MOLTRAN_ZU_DISCONNECTED3");
    ASSERT_NE(event, INVALID_PORT_HANDLE);
    EXPECT_EQ(port.WaitForStopOrEvent(stop, event, 0), WaitOutcome::TimedOut);

    WaitOutcome seen = WaitOutcome::Failed;
    std::thread watcher([&] { seen = port.WaitForStopOrEvent(stop, event, LONG_WAIT_MS); });
    EXPECT_TRUE(bench.server.Unplug(3));
    watcher.join();
    EXPECT_EQ(seen, WaitOutcome::Disconnected);

    // Both signalled: the stop event wins, and the wait resets it.
    ASSERT_TRUE(port.SetEvent(stop));
    EXPECT_EQ(port.WaitForStopOrEvent(stop, event, LONG_WAIT_MS), WaitOutcome::Stop);
    EXPECT_EQ(port.WaitForStopOrEvent(stop, event, 0), WaitOutcome::Disconnected);
    EXPECT_FALSE(port.SetEvent(event)); // the driver's event is only waited on
    port.CloseEvent(event);
    port.CloseEvent(stop);
}

} // namespace
