#include "packet_protocol.h"

#include "platform_beep.h"

#include <array>
#include <cstring>

namespace knot::device {
namespace {

// The value of an upper-case hexadecimal digit, or -1 for any other character.
int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Bytes 0-9 of a data block; byte 10 is the high byte of every block's code.
constexpr std::array<std::uint8_t, 10> DATA_BLOCK_HEADER = {0x01, 0x00, 0x70, 0x00, 0x30,
                                                            0x00, 0x00, 0x00, 0x00, 0x24};

bool UsablePacketSize(std::int32_t size) {
    return size > 0 && static_cast<std::size_t>(size) <= PACKET_LAYOUT_SIZE;
}

} // namespace

CommandCode PacketCommandCode(const std::uint8_t* packet) {
    unsigned code =
        (unsigned{packet[PACKET_CODE_HIGH_OFFSET]} << 8) | packet[PACKET_CODE_LOW_OFFSET];
    return static_cast<CommandCode>(code & COMMAND_CODE_MASK);
}

bool IsAcceptedResponse(const std::uint8_t* response) {
    return (response[PACKET_CODE_HIGH_OFFSET] & STATUS_MASK) == STATUS_ACCEPTED;
}

Exchange AwaitResponse(PacketLink& link, CommandCode code, int tries, std::uint8_t* response) {
    const std::int32_t packetSize = link.packetSize();
    // Failed receives do not break the run of ignored responses: otherwise a unit alternating
    // failures with stale answers would hold the wait for ever.
    int ignored = 0;
    for (;;) {
        std::memset(response, 0, PACKET_IMAGE_SIZE);
        std::size_t received = 0;
        if (!link.Receive(response, PACKET_IMAGE_SIZE, received)) {
            if (--tries <= 0) {
                return Exchange::NoAnswer;
            }
            continue;
        }
        if (received != static_cast<std::size_t>(packetSize) ||
            PacketCommandCode(response) != code) {
            if (received == static_cast<std::size_t>(packetSize)) {
                tries = ACK_TRIES; // an answer to another command restores the budget
            }
            if (++ignored >= MAX_IGNORED_RESPONSES) {
                return Exchange::OutOfTurn;
            }
            continue;
        }
        return IsAcceptedResponse(response) ? Exchange::Accepted : Exchange::Refused;
    }
}

PacketProtocol::PacketProtocol(PacketLink& link, BeepFunction beep)
    : m_link(link), m_beep(beep ? std::move(beep) : BeepFunction(PlatformBeep)) {}

void PacketProtocol::Beep() {
    m_beep();
}

CommandCode PacketProtocol::SendCommandText(std::string_view text) {
    const std::int32_t packetSize = m_link.packetSize();
    if (text.size() > MAX_COMMAND_TEXT_LENGTH || !UsablePacketSize(packetSize)) {
        Beep();
        return 0;
    }
    std::array<std::uint8_t, PACKET_IMAGE_SIZE> image{};
    std::size_t position = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        int digit = HexDigitValue(text[i]);
        if (digit < 0) {
            continue; // ignored, but it has used up its index
        }
        if (i % 2 == 0) {
            image[position] = static_cast<std::uint8_t>(digit * 16);
        } else {
            image[position] = static_cast<std::uint8_t>(image[position] + digit);
            ++position;
        }
    }
    CommandCode code = PacketCommandCode(image.data());
    if (!m_link.Send(image.data(), static_cast<std::size_t>(packetSize))) {
        Beep();
        return 0;
    }
    return code;
}

Exchange PacketProtocol::SendDataBlock(const std::uint8_t* data, std::int32_t blockNumber,
                                       std::uint8_t packetType) {
    const std::int32_t packetSize = m_link.packetSize();
    if (!UsablePacketSize(packetSize)) {
        Beep();
        return Exchange::LinkFailed;
    }
    std::array<std::uint8_t, PACKET_LAYOUT_SIZE> packet{};
    std::memcpy(packet.data(), DATA_BLOCK_HEADER.data(), DATA_BLOCK_HEADER.size());
    const CommandCode code = static_cast<CommandCode>(DATA_BLOCK_CODE_BASE + packetType);
    packet[PACKET_CODE_HIGH_OFFSET] = static_cast<std::uint8_t>(code >> 8);
    packet[PACKET_CODE_LOW_OFFSET] = packetType;
    const auto number = static_cast<std::uint32_t>(blockNumber);
    for (std::size_t i = 0; i < 4; ++i) {
        packet[PACKET_PARAMETER_OFFSET + i] = static_cast<std::uint8_t>(number >> (24 - 8 * i));
    }
    std::memcpy(packet.data() + PACKET_DATA_OFFSET, data, DATA_BLOCK_SIZE);
    const Exchange answer = m_link.Send(packet.data(), static_cast<std::size_t>(packetSize))
                                ? WaitForAck(code)
                                : Exchange::LinkFailed;
    if (answer != Exchange::Accepted) {
        Beep();
    }
    return answer;
}

Exchange PacketProtocol::WaitForAck(CommandCode code) {
    std::array<std::uint8_t, PACKET_IMAGE_SIZE> response;
    return AwaitResponse(m_link, code, ACK_TRIES, response.data());
}

} // namespace knot::device
