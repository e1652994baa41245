// Builds command and data-block packets, sends them over a PacketLink and judges the unit's
// responses. The beep that marks a failure goes through an injectable function.
#pragma once

#include "firmware_image.h"
#include "packet_link.h"
#include "platform_beep.h"
#include "variant_profile.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace knot::device {
using namespace knot::core;

// Packet images and response buffers are this large; only packetSize bytes go out.
inline constexpr std::size_t PACKET_IMAGE_SIZE = 256;
// The 64-byte layout every packet is cut from.
inline constexpr std::size_t PACKET_LAYOUT_SIZE = 64;
// A command text fills at most the 256-byte image.
inline constexpr std::size_t MAX_COMMAND_TEXT_LENGTH = 512;

// Byte offsets in a packet.
inline constexpr std::size_t PACKET_CODE_HIGH_OFFSET = 10;
inline constexpr std::size_t PACKET_CODE_LOW_OFFSET = 11;
inline constexpr std::size_t PACKET_PARAMETER_OFFSET = 14; // also where a response's payload starts
inline constexpr std::size_t PACKET_DATA_OFFSET = 18;

inline constexpr CommandCode COMMAND_CODE_MASK = 0x3FFF;
inline constexpr std::uint8_t STATUS_MASK = 0xC0;
inline constexpr std::uint8_t STATUS_ACCEPTED = 0x40;
// A data block's code is this plus its packet type.
inline constexpr CommandCode DATA_BLOCK_CODE_BASE = 0x3F00;

// Failed receives allowed while waiting for an acknowledgment; a response to another command
// restores the budget.
inline constexpr int ACK_TRIES = 3;
// Responses of the wrong size or for another command that one wait accepts before it gives up.
inline constexpr int MAX_IGNORED_RESPONSES = 64;

// The 14-bit code of a packet or response: bytes 10-11 big-endian, masked.
CommandCode PacketCommandCode(const std::uint8_t* packet);
// Whether a response's status bits (byte 10, bits 7-6) are 01.
bool IsAcceptedResponse(const std::uint8_t* response);

// How one exchange with the unit ended.
enum class Exchange {
    Accepted,   // the response to the code came with status 01
    LinkFailed, // the driver did not take the packet
    Refused,    // the response came with status 00, 10 or 11
    NoAnswer,   // the failed receives used up the budget
    OutOfTurn,  // MAX_IGNORED_RESPONSES wrong-size or other-command responses came instead
};

// Reads responses into `response` (PACKET_IMAGE_SIZE bytes, cleared before each read) until the
// one for `code` arrives. A failed receive costs one of `tries`; a response of the wrong size
// costs nothing; a response for another command sets the budget back to ACK_TRIES. On Accepted
// or Refused, `response` holds the matching response. Never LinkFailed.
Exchange AwaitResponse(PacketLink& link, CommandCode code, int tries, std::uint8_t* response);

class PacketProtocol {
  public:
    // `link` must outlive this object. The default beep is the platform's simple beep.
    explicit PacketProtocol(PacketLink& link, BeepFunction beep = {});

    // Turns hexadecimal text into a packet and sends its first packetSize bytes. Returns the
    // packet's code, or 0 when the send failed (with a beep). Text longer than
    // MAX_COMMAND_TEXT_LENGTH is not sent and counts as a failed send.
    CommandCode SendCommandText(std::string_view text);
    // Sends one 32-byte block of the image and waits for its acknowledgment (Accepted); beeps on
    // any failure.
    Exchange SendDataBlock(const std::uint8_t* data, std::int32_t blockNumber,
                           std::uint8_t packetType);
    // Accepted when the response to `code` arrives with status 01 within the budget of ACK_TRIES.
    Exchange WaitForAck(CommandCode code);

    PacketLink& link() { return m_link; }

  private:
    void Beep();

    PacketLink& m_link;
    BeepFunction m_beep;
};

} // namespace knot::device
