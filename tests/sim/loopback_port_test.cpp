// The in-process loopback port: the device layer finds, opens and talks to its units exactly as
// it does over the driver, and unplugging signals the named event.
#include "knot_names.h"

#include "loopback_driver_port.h"

#include "chosen_unit_port.h"
#include "command_texts.h"
#include "device_access.h"
#include "device_packet_link.h"
#include "disconnect_event.h"
#include "interface_survey.h"
#include "packet_protocol.h"
#include "transfer_log.h"
#include "variant_profile.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

class LoopbackPortTest : public ::testing::Test {
  protected:
    LoopbackPortTest()
        : folder(std::filesystem::temp_directory_path() /
                 ("knot-loopback-" + std::to_string(::getpid()))),
          log((folder / "trace.txt").string(), (folder / "trace.1.txt").string()),
          access(port, log), packets(access, link), protocol(packets, [] {}) {
        std::filesystem::create_directories(folder);
        access.SetDiagnosticSink([](std::string_view) {});
    }
    ~LoopbackPortTest() override { std::filesystem::remove_all(folder); }

    UnitConfig Unit(std::vector<std::string> args) {
        UnitConfig config;
        std::string error;
        EXPECT_TRUE(ParsePlugOptions(args, config, error)) << error;
        return config;
    }

    std::filesystem::path folder;
    LoopbackDriverPort port;
    TransferLog log;
    DeviceAccess access;
    DeviceLink link;
    DevicePacketLink packets;
    PacketProtocol protocol;
};

TEST_F(LoopbackPortTest, SelectsAmongUnitsInPlugOrder) {
    EXPECT_FALSE(access.OpenDeviceLink(link));
    EXPECT_EQ(port.Plug(Unit({"--product", "0x1234"})), 0);
    EXPECT_EQ(port.Plug(Unit({"--no-descriptor"})), 1);
    EXPECT_EQ(port.Plug(Unit({"--packet-size", "62", "--number", "9", "--slot", "hub 1 port 3"})),
              9);
    EXPECT_EQ(port.Plug(Unit({"--number", "9"})), -1);
    EXPECT_EQ(port.Plug(), 2);
    EXPECT_EQ(port.PluggedUnits(), (std::vector<std::int32_t>{0, 1, 9, 2}));
    EXPECT_EQ(CountDeviceInterfaces(port), 4);

    ASSERT_TRUE(access.OpenDeviceLink(link));
    EXPECT_EQ(link.deviceNumber, 9);
    EXPECT_EQ(link.packetSize, 62);

    // Narrowed to unit 9, a survey sees it alone, in its own slot.
    ChosenUnitPort chosen(port, UnitDevicePath(Unit({"--packet-size", "62", "--number", "9"})));
    const std::vector<UnitInterface> units = SurveyUnits(chosen);
    ASSERT_EQ(units.size(), 1u);
    EXPECT_EQ(units[0].location, "hub 1 port 3");
}

TEST_F(LoopbackPortTest, RunsADownloadIntoTheUnitsMemory) {
    const VariantProfile& profile = VariantPProfile();
    port.SetSaveMemoryDirectory(folder.string());
    ASSERT_EQ(port.Plug(Unit({"--checksum", "C0DE"})), 0);
    ASSERT_TRUE(access.OpenDeviceLink(link));

    const CommandCode checksum = profile.identityQueryCodes[2];
    ASSERT_EQ(protocol.SendCommandText(IdentityQueryText(checksum)), checksum);
    std::uint8_t response[PACKET_IMAGE_SIZE];
    ASSERT_EQ(AwaitResponse(packets, checksum, 10, response), Exchange::Accepted);
    EXPECT_EQ(response[PACKET_PARAMETER_OFFSET], 0xC0);
    EXPECT_EQ(response[PACKET_PARAMETER_OFFSET + 1], 0xDE);

    std::uint8_t block[DATA_BLOCK_SIZE];
    std::fill(std::begin(block), std::end(block), 0x5A);
    ASSERT_EQ(protocol.WaitForAck(protocol.SendCommandText(PrepareCommandText(profile))),
              Exchange::Accepted);
    ASSERT_EQ(protocol.SendDataBlock(block, 2, profile.cpuBlockType), Exchange::Accepted);
    ASSERT_EQ(protocol.SendDataBlock(block, 1, profile.flashBlockType), Exchange::Accepted);
    ASSERT_NE(protocol.SendCommandText(CommitCommandText(profile)), 0);
    // Nothing answers the commit, so a receive fails at once.
    std::size_t received = 0;
    EXPECT_FALSE(access.ReceiveFromDevice(link.handle, response, sizeof response, received));

    EXPECT_EQ(port.CpuMemory(0)[32], 0x5A);
    EXPECT_EQ(port.CpuMemory(0)[31], 0xFF);
    EXPECT_EQ(port.FlashMemory(0)[0], 0x5A);
    EXPECT_EQ(std::filesystem::file_size(folder / "unit-0-cpu.bin"), 0x40000u);
    EXPECT_EQ(port.CaptureLines().size(), 2u * 4u + 1u);
    EXPECT_EQ(port.CaptureLines().front().substr(0, 4), "0 R ");
}

TEST_F(LoopbackPortTest, UnplugSignalsTheEventAndFailsTheHandle) {
    ASSERT_EQ(port.Plug(Unit({"--number", "3", "--fault", "unplug=cpu:1"})), 3);
    ASSERT_EQ(port.Plug(Unit({"--no-number"})), 0);
    ASSERT_EQ(port.Plug(Unit({"--no-number"})), 1);
    ASSERT_EQ(port.Plug(Unit({"--no-event"})), 2);
    EXPECT_EQ(port.OpenNamedEvent(DisconnectEventName(2)), INVALID_PORT_HANDLE);
    const PortHandle stop = port.CreateStopEvent();
    const PortHandle three = port.OpenNamedEvent(DisconnectEventName(3));
    const PortHandle shared = port.OpenNamedEvent(DisconnectEventName(-1));
    ASSERT_NE(three, INVALID_PORT_HANDLE);
    ASSERT_NE(shared, INVALID_PORT_HANDLE);
    EXPECT_EQ(port.WaitForStopOrEvent(stop, three, 0), WaitOutcome::TimedOut);

    ASSERT_TRUE(access.OpenDeviceLink(link));
    std::uint8_t block[DATA_BLOCK_SIZE] = {};
    EXPECT_NE(protocol.SendDataBlock(block, 1, 0x12), Exchange::Accepted);
    EXPECT_EQ(port.WaitForStopOrEvent(stop, three, 0), WaitOutcome::Disconnected);
    EXPECT_EQ(protocol.SendCommandText(InitializeCommandText()), 0); // the handle is dead

    // Units without a number share one event; unplugging one signals those who opened it.
    EXPECT_TRUE(port.Unplug(0));
    EXPECT_FALSE(port.Unplug(0));
    EXPECT_EQ(port.WaitForStopOrEvent(stop, shared, 0), WaitOutcome::Disconnected);
    const PortHandle again = port.OpenNamedEvent(DisconnectEventName(-1));
    EXPECT_EQ(port.WaitForStopOrEvent(stop, again, 0), WaitOutcome::TimedOut);

    // The stop event wins over a signalled event, and the wait resets it.
    ASSERT_TRUE(port.SetEvent(stop));
    EXPECT_EQ(port.WaitForStopOrEvent(stop, shared, 0), WaitOutcome::Stop);
    EXPECT_EQ(port.WaitForStopOrEvent(stop, shared, 0), WaitOutcome::Disconnected);
    EXPECT_FALSE(port.SetEvent(shared));
    EXPECT_EQ(port.WaitForStopOrEvent(stop, INVALID_PORT_HANDLE, 0), WaitOutcome::Failed);
    for (PortHandle event : {stop, three, shared, again})
        port.CloseEvent(event);
}

TEST_F(LoopbackPortTest, UnplugAfterTheCommitEndsAWaitOnTheEvent) {
    ASSERT_EQ(port.Plug(Unit({"--fault", "unplug=wait:20"})), 0);
    ASSERT_TRUE(access.OpenDeviceLink(link));
    const PortHandle stop = port.CreateStopEvent();
    const PortHandle event = port.OpenNamedEvent(DisconnectEventName(link.deviceNumber));
    ASSERT_NE(protocol.SendCommandText(CommitCommandText(VariantQProfile())), 0);
    EXPECT_EQ(port.PluggedUnits().size(), 1u);
    // The wait ends when the unit goes, long before its own time-out.
    EXPECT_EQ(port.WaitForStopOrEvent(stop, event, 60000), WaitOutcome::Disconnected);
    EXPECT_TRUE(port.PluggedUnits().empty());
    port.CloseEvent(event);
    port.CloseEvent(stop);
}

} // namespace
