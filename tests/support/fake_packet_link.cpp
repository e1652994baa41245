#include "knot_names.h"

#include "fake_packet_link.h"

#include "packet_protocol.h"

#include <algorithm>
#include <cstring>

std::vector<std::uint8_t> ResponsePacket(CommandCode code, std::uint8_t status, std::size_t size,
                                         const std::vector<std::uint8_t>& payload) {
    std::vector<std::uint8_t> packet(std::max<std::size_t>(size, 14 + payload.size()), 0);
    packet[0] = 0x01;
    packet[2] = 0x70;
    packet[4] = 0x30;
    packet[10] = static_cast<std::uint8_t>((status & 0xC0) | ((code >> 8) & 0x3F));
    packet[11] = static_cast<std::uint8_t>(code);
    std::copy(payload.begin(), payload.end(), packet.begin() + 14);
    packet.resize(size);
    return packet;
}

void FakePacketLink::QueueResponse(std::vector<std::uint8_t> bytes) {
    m_replies.push_back({true, std::move(bytes)});
}

void FakePacketLink::QueueAck(CommandCode code, std::uint8_t status) {
    QueueResponse(ResponsePacket(code, status, static_cast<std::size_t>(m_packetSize)));
}

void FakePacketLink::QueueFailedReceives(int count) {
    for (int i = 0; i < count; ++i) {
        m_replies.push_back({false, {}});
    }
}

bool FakePacketLink::Send(const std::uint8_t* bytes, std::size_t length) {
    writes.emplace_back(bytes, bytes + length);
    // The driver takes whole packets only.
    if (length != static_cast<std::size_t>(m_packetSize)) {
        return false;
    }
    if (m_failingSends > 0) {
        --m_failingSends;
        return false;
    }
    return true;
}

bool FakePacketLink::Receive(std::uint8_t* buffer, std::size_t capacity, std::size_t& received) {
    ++receiveCalls;
    received = 0;
    // Every receive offers the full response buffer; a smaller one is a fault of the caller.
    if (capacity != PACKET_IMAGE_SIZE || m_replies.empty()) {
        return false;
    }
    Reply reply = std::move(m_replies.front());
    m_replies.pop_front();
    if (!reply.ok) {
        return false;
    }
    received = std::min(reply.bytes.size(), capacity);
    std::memcpy(buffer, reply.bytes.data(), received);
    return true;
}
