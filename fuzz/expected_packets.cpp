// The packets of a download, as the unit expects them.
#include "expected_packets.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace knot::fuzz {
namespace {

constexpr std::uint8_t HEADER[] = {0x01, 0x00, 0x70, 0x00, 0x30};
constexpr std::size_t BLOCK_MARK_OFFSET = 9;
constexpr std::uint8_t BLOCK_MARK = 0x24;
constexpr CommandCode PREPARE = 0x3F0F;
constexpr CommandCode COMMIT = 0x3F80;

void PutNumber(Packet& packet, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) {
        packet[PACKET_PARAMETER_OFFSET + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
    }
}

Packet ExpectedBlock(std::uint8_t type, std::uint32_t number, const std::uint8_t* data,
                     std::size_t packetSize) {
    Packet packet(PACKET_LAYOUT_SIZE, 0);
    std::copy(std::begin(HEADER), std::end(HEADER), packet.begin());
    packet[BLOCK_MARK_OFFSET] = BLOCK_MARK;
    packet[PACKET_CODE_HIGH_OFFSET] = 0x3F;
    packet[PACKET_CODE_LOW_OFFSET] = type;
    PutNumber(packet, number);
    std::copy(data, data + DATA_BLOCK_SIZE, packet.begin() + PACKET_DATA_OFFSET);
    packet.resize(packetSize);
    return packet;
}

} // namespace

Packet ExpectedCommand(CommandCode code, std::uint32_t parameter, std::size_t packetSize) {
    Packet packet(PACKET_LAYOUT_SIZE, 0);
    std::copy(std::begin(HEADER), std::end(HEADER), packet.begin());
    packet[PACKET_CODE_HIGH_OFFSET] = static_cast<std::uint8_t>(code >> 8);
    packet[PACKET_CODE_LOW_OFFSET] = static_cast<std::uint8_t>(code & 0xFF);
    PutNumber(packet, parameter);
    packet.resize(packetSize);
    return packet;
}

std::vector<Packet> ExpectedRun(const VariantProfile& profile, const FirmwareImage& image,
                                std::size_t packetSize) {
    std::vector<Packet> run;
    run.push_back(ExpectedCommand(PREPARE, profile.targetNumber, packetSize));
    static const std::array<std::uint8_t, DATA_BLOCK_SIZE> blank = [] {
        std::array<std::uint8_t, DATA_BLOCK_SIZE> bytes;
        bytes.fill(0xFF);
        return bytes;
    }();
    for (std::size_t i = 0; i < CPU_BLOCK_COUNT; ++i) {
        const std::uint8_t* block = image.CpuRegion.data() + i * DATA_BLOCK_SIZE;
        if (std::memcmp(block, blank.data(), DATA_BLOCK_SIZE) != 0) {
            run.push_back(ExpectedBlock(profile.cpuBlockType, static_cast<std::uint32_t>(i + 1),
                                        block, packetSize));
        }
    }
    const std::size_t flashBlocks =
        image.flashDataStored || image.flashExtent ? image.flashExtent / DATA_BLOCK_SIZE + 1 : 0;
    for (std::size_t j = 0; j < flashBlocks; ++j) {
        run.push_back(ExpectedBlock(profile.flashBlockType, static_cast<std::uint32_t>(j + 1),
                                    image.FlashRegion.data() + j * DATA_BLOCK_SIZE, packetSize));
    }
    run.push_back(ExpectedCommand(COMMIT, profile.targetNumber, packetSize));
    return run;
}

} // namespace knot::fuzz
