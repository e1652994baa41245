// A PacketLink that answers receives from a scripted queue and records every packet written.
// Sends can be made to fail; an empty queue makes a receive fail, as a driver read that times out.
// A send of other than packetSize bytes, or a receive into other than the full 256-byte buffer,
// fails.
#pragma once

#include "knot_names.h"

#include "packet_link.h"
#include "variant_profile.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

// A response of `size` bytes whose bytes 10-11 carry `code` and the status bits of `status`
// (0x40 accepted; 0x00, 0x80 or 0xC0 refused); `payload` goes from byte 14 on.
std::vector<std::uint8_t> ResponsePacket(CommandCode code, std::uint8_t status = 0x40,
                                         std::size_t size = 64,
                                         const std::vector<std::uint8_t>& payload = {});

class FakePacketLink : public PacketLink {
  public:
    explicit FakePacketLink(std::int32_t packetSize = 64) : m_packetSize(packetSize) {}

    // Script.
    void QueueResponse(std::vector<std::uint8_t> bytes);
    void QueueAck(CommandCode code, std::uint8_t status = 0x40); // a response of packetSize bytes
    void QueueFailedReceives(int count = 1);
    void FailNextSends(int count = 1) { m_failingSends += count; }
    void SetPacketSize(std::int32_t size) { m_packetSize = size; }

    // Record.
    std::vector<std::vector<std::uint8_t>> writes; // every packet offered, sent or not
    int receiveCalls = 0;
    std::size_t pendingReplies() const { return m_replies.size(); }

    std::int32_t packetSize() const override { return m_packetSize; }
    bool Send(const std::uint8_t* bytes, std::size_t length) override;
    bool Receive(std::uint8_t* buffer, std::size_t capacity, std::size_t& received) override;

  private:
    struct Reply {
        bool ok;
        std::vector<std::uint8_t> bytes;
    };
    std::int32_t m_packetSize;
    int m_failingSends = 0;
    std::deque<Reply> m_replies;
};
