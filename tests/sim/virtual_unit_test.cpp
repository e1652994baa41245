// The unit's side of the protocol on its own: option and fault parsing, the names the driver
// gives a unit, the answers to every command, the memory it keeps, and the faults it plays.
#include "knot_names.h"

#include "device_link.h"
#include "unit_packet.h"
#include "virtual_unit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace {

UnitPacket Command(CommandCode code, std::uint32_t parameter = 0, std::size_t size = 64) {
    UnitPacket packet(size, 0);
    const std::uint8_t header[] = {0x01, 0x00, 0x70, 0x00, 0x30};
    std::copy(std::begin(header), std::end(header), packet.begin());
    packet[PACKET_CODE_HIGH_OFFSET] = static_cast<std::uint8_t>(code >> 8);
    packet[PACKET_CODE_LOW_OFFSET] = static_cast<std::uint8_t>(code & 0xFF);
    for (int i = 0; i < 4; ++i)
        packet[PACKET_PARAMETER_OFFSET + i] = static_cast<std::uint8_t>(parameter >> (24 - 8 * i));
    return packet;
}

UnitPacket Block(std::uint8_t type, std::uint32_t number, std::uint8_t first,
                 std::size_t size = 64) {
    UnitPacket packet =
        Command(static_cast<CommandCode>(DATA_BLOCK_CODE_BASE + type), number, size);
    packet[PACKET_KIND_OFFSET] = DATA_BLOCK_KIND;
    for (std::size_t i = 0; i < DATA_BLOCK_SIZE; ++i)
        packet[PACKET_DATA_OFFSET + i] = static_cast<std::uint8_t>(first + i);
    return packet;
}

UnitConfig WithFaults(std::vector<std::string> faults, std::size_t packetSize = 64) {
    UnitConfig config;
    config.number = 0;
    config.packetSize = packetSize;
    for (const std::string& text : faults)
        config.faults.push_back(*ParseFaultSpec(text));
    return config;
}

struct FaultText {
    const char* text;
    bool valid;
};

TEST(FaultSpecTest, ParsesWhatTheCommandLineAllowsAndNothingElse) {
    const FaultText cases[] = {
        {"refuse=prepare", true},
        {"refuse=commit", true},
        {"silent=initialize", true},
        {"silent=query:1", true},
        {"refuse=cpu:0", true},
        {"unplug=flash:16384", true},
        {"unplug=wait:250", true},
        {"stale=1", true},
        {"wrongsize=12", true},
        {"refuse=query:0", false},
        {"silent=wait:5", false},
        {"refuse=wait:5", false},
        {"stale=0", false},
        {"stale=-1", false},
        {"wrongsize=", false},
        {"stale=prepare", false},
        {"refuse=cpu", false},
        {"refuse=prepare:1", false},
        {"refuse=cpu:1x", false},
        {"refuse=cpu:+1", false},
        {"unplug", false},
        {"drop=prepare", false},
        {"refuse=Prepare", false},
        {"refuse=cpu:99999999999", false},
        {"", false},
    };
    for (const FaultText& c : cases) {
        const auto fault = ParseFaultSpec(c.text);
        EXPECT_EQ(fault.has_value(), c.valid) << c.text;
        if (fault) {
            EXPECT_EQ(FormatFaultSpec(*fault), c.text);
        }
    }
}

TEST(UnitConfigTest, DefaultsAndOptions) {
    UnitConfig config;
    std::string error;
    ASSERT_TRUE(ParsePlugOptions({}, config, error));
    EXPECT_EQ(config.vendorId, 0x0ABC);
    EXPECT_EQ(config.productId, 0x7832);
    EXPECT_EQ(config.number, NEXT_FREE_NUMBER);
    EXPECT_EQ(config.packetSize, 64u);
    EXPECT_EQ(config.programName, "SIMUNIT");
    EXPECT_EQ(config.version, "1.00");
    EXPECT_EQ(config.checksum, 0x0000);

    ASSERT_TRUE(ParsePlugOptions({"--vendor", "0x1a2B", "--product", "7833", "--number", "12",
                                  "--packet-size", "62", "--checksum", "beEF", "--no-number",
                                  "--fault", "stale=1", "--fault", "refuse=cpu:3"},
                                 config, error))
        << error;
    EXPECT_EQ(config.vendorId, 0x1A2B);
    EXPECT_EQ(config.productId, 0x7833);
    EXPECT_EQ(config.number, 12);
    EXPECT_EQ(config.packetSize, 62u);
    EXPECT_EQ(config.checksum, 0xBEEF);
    EXPECT_FALSE(config.hasNumber);
    EXPECT_EQ(config.faults.size(), 2u);

    const std::vector<std::vector<std::string>> bad = {
        {"--vendor", "0x10000"}, {"--number", "-1"},     {"--number", "2147483648"},
        {"--checksum", "0x12"},  {"--checksum", "12G4"}, {"--version", "123456789"},
        {"--packet-size"},       {"--fault", "stale=x"}, {"extra"}};
    for (const auto& args : bad) {
        UnitConfig untouched;
        error.clear();
        EXPECT_FALSE(ParsePlugOptions(args, untouched, error)) << args[0];
        EXPECT_FALSE(error.empty());
    }
}

TEST(UnitConfigTest, DevicePathMarksThePacketSizeAndEventNameFollowsTheNumber) {
    UnitConfig config;
    config.number = 4;
    char pattern[64];
    std::snprintf(pattern, sizeof pattern, SHORT_PACKET_PATH_PATTERN, 0x0ABC, 0x7832);
    std::string path = UnitDevicePath(config);
    EXPECT_EQ(path.find(pattern), std::string::npos) << path;
    EXPECT_NE(path.find("VID_0ABC&PID_7832#00001#"), std::string::npos) << path;
    config.packetSize = 62;
    path = UnitDevicePath(config);
    EXPECT_NE(path.find(pattern), std::string::npos) << path;
    config.number = 5;
    EXPECT_NE(UnitDevicePath(config), path); // two units never share a path

    EXPECT_EQ(UnitEventName(config), "Global\\MOLTRAN_ZU_DISCONNECTED5");
    config.hasNumber = false;
    EXPECT_EQ(UnitEventName(config), "Global\\MOLTRAN_ZU_DISCONNECTED");

    config.vendorId = 0x1234;
    config.productId = 0xABCD;
    const auto descriptor = UnitDescriptor(config);
    EXPECT_EQ(descriptor[2], 0x34);
    EXPECT_EQ(descriptor[3], 0x12);
    EXPECT_EQ(descriptor[4], 0xCD);
    EXPECT_EQ(descriptor[5], 0xAB);
}

struct AnswerCase {
    CommandCode code;
    std::uint8_t high; // byte 10 of the answer
    std::string payload;
};

TEST(VirtualUnitTest, AnswersEveryCommandWithItsOwnCode) {
    UnitConfig config = WithFaults({});
    config.programName = "PRG";
    config.version = "V1.2";
    config.checksum = 0x1F2E;
    VirtualUnit unit(config);
    const AnswerCase cases[] = {
        {0x0823, 0x48, std::string("PRG\0\0\0\0\0", 8)},
        {0x0833, 0x48, std::string("PRG\0\0\0\0\0", 8)},
        {0x0821, 0x48, std::string("V1.2\0\0\0\0", 8)},
        {0x0831, 0x48, std::string("V1.2\0\0\0\0", 8)},
        {0x0822, 0x48, std::string("\x1F\x2E\0\0", 4)},
        {0x0832, 0x48, std::string("\x1F\x2E\0\0", 4)},
        {0x3F0F, 0x7F, std::string(4, '\0')},
        {0x01D2, 0x41, std::string(4, '\0')},
        {0x0844, 0x88, std::string(4, '\0')}, // unknown: refused
    };
    for (const AnswerCase& c : cases) {
        const UnitReaction reaction = unit.Receive(Command(c.code, 3));
        ASSERT_EQ(reaction.answers.size(), 1u) << std::hex << c.code;
        const UnitPacket& answer = reaction.answers[0];
        EXPECT_EQ(answer.size(), 64u);
        EXPECT_EQ(answer[PACKET_CODE_HIGH_OFFSET], c.high) << std::hex << c.code;
        EXPECT_EQ(answer[PACKET_CODE_LOW_OFFSET], c.code & 0xFF);
        EXPECT_EQ(std::string(answer.begin() + 14, answer.begin() + 14 + c.payload.size()),
                  c.payload)
            << std::hex << c.code;
    }
    const UnitReaction commit = unit.Receive(Command(0x3F80, 3));
    EXPECT_TRUE(commit.answers.empty());
    EXPECT_TRUE(commit.committed);
    EXPECT_FALSE(commit.unplugNow);
    EXPECT_EQ(commit.unplugAfterMs, -1);
}

TEST(VirtualUnitTest, KeepsAcceptedBlocksOfBothRegions) {
    VirtualUnit unit(WithFaults({"refuse=cpu:3"}, 62));
    for (std::uint8_t type : {0x12, 0x13}) {
        const auto reaction = unit.Receive(Block(type, 2, 0x20, 62));
        ASSERT_EQ(reaction.answers.size(), 1u);
        EXPECT_EQ(reaction.answers[0].size(), 62u);
        EXPECT_EQ(reaction.answers[0][PACKET_CODE_HIGH_OFFSET], 0x7F);
        EXPECT_EQ(reaction.answers[0][PACKET_CODE_LOW_OFFSET], type);
    }
    unit.Receive(Block(0x23, 1, 0x80, 62));
    unit.Receive(Block(0x22, 16384, 0x90, 62)); // the last block of the flash region
    unit.Receive(Block(0x12, 3, 0x55, 62));     // refused: not kept
    unit.Receive(Block(0x12, 0, 0x66, 62));     // outside the region: acknowledged, not kept
    unit.Receive(Block(0x12, 8193, 0x77, 62));
    EXPECT_TRUE(unit.Receive(Block(0x12, 1, 0x11, 64)).answers.empty()); // not the unit's size

    const auto cpu = unit.CpuMemory();
    const auto flash = unit.FlashMemory();
    EXPECT_EQ(cpu[32], 0x20);
    EXPECT_EQ(cpu[63], 0x20 + 31);
    EXPECT_EQ(std::count(cpu.begin(), cpu.end(), 0xFF), static_cast<long>(cpu.size() - 32));
    EXPECT_EQ(flash[0], 0x80);
    EXPECT_EQ(flash[flash.size() - 32], 0x90);
    EXPECT_EQ(std::count(flash.begin(), flash.end(), 0x00), static_cast<long>(flash.size() - 64));

    const auto folder =
        std::filesystem::temp_directory_path() /
        ("knot-sim-memory-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    std::filesystem::create_directories(folder);
    ASSERT_TRUE(unit.SaveMemory(folder.string()));
    EXPECT_EQ(std::filesystem::file_size(folder / "unit-0-cpu.bin"), 0x40000u);
    EXPECT_EQ(std::filesystem::file_size(folder / "unit-0-flash.bin"), 0x80000u);
    std::filesystem::remove_all(folder);
    EXPECT_FALSE(unit.SaveMemory((folder / "missing").string()));
}

TEST(VirtualUnitTest, ExtraAnswersPrecedeEveryRealAnswer) {
    VirtualUnit unit(WithFaults({"stale=2", "wrongsize=1", "refuse=prepare"}));
    const auto prepare = unit.Receive(Command(0x3F0F, 2));
    ASSERT_EQ(prepare.answers.size(), 4u);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(prepare.answers[i].size(), 64u);
        EXPECT_EQ(prepare.answers[i][PACKET_CODE_HIGH_OFFSET] & 0xC0, 0x40);
        EXPECT_NE(prepare.answers[i][PACKET_CODE_LOW_OFFSET], 0x0F);
    }
    EXPECT_EQ(prepare.answers[2].size(), 62u);
    EXPECT_EQ(prepare.answers[3][PACKET_CODE_HIGH_OFFSET], 0xBF); // the refusal, status 10
    EXPECT_EQ(prepare.answers[3][PACKET_CODE_LOW_OFFSET], 0x0F);
    EXPECT_EQ(unit.Receive(Command(0x01D2)).answers.size(), 4u);
    EXPECT_TRUE(unit.Receive(Command(0x3F80, 2)).answers.empty()); // nothing precedes no answer
}

TEST(VirtualUnitTest, CountsIdentityQueriesAndVanishesOnRequest) {
    VirtualUnit unit(WithFaults({"silent=query:2", "unplug=query:4", "unplug=wait:75"}));
    EXPECT_EQ(unit.Receive(Command(0x0833)).answers.size(), 1u);
    EXPECT_TRUE(unit.Receive(Command(0x0831)).answers.empty());
    EXPECT_EQ(unit.Receive(Command(0x0822)).answers.size(), 1u);
    const auto fourth = unit.Receive(Command(0x0823));
    EXPECT_TRUE(fourth.unplugNow);
    EXPECT_TRUE(fourth.answers.empty());
    const auto commit = unit.Receive(Command(0x3F80));
    EXPECT_EQ(commit.unplugAfterMs, 75);
    EXPECT_FALSE(commit.unplugNow);
}

TEST(VirtualUnitTest, CaptureLineIsNumberDirectionAndUpperCaseHex) {
    EXPECT_EQ(FormatCaptureLine(12, 'S', UnitPacket{0x01, 0xAB, 0x00, 0xF0}), "12 S 01AB00F0");
    const std::string line = FormatCaptureLine(0, 'R', Command(0x3F0F, 3, 62));
    EXPECT_EQ(line.size(), 4u + 124u);
}

} // namespace
