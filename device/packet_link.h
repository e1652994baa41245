// What the packet protocol needs of a link: a packet size, "send these bytes" and "receive into
// this buffer". The device link implements it; tests script their own.
#pragma once

#include <cstddef>
#include <cstdint>

namespace knot::device {
class PacketLink {
  public:
    virtual ~PacketLink() = default;

    // Bytes per packet in both directions: 64 or 62.
    virtual std::int32_t packetSize() const = 0;
    // True when the driver took the packet.
    virtual bool Send(const std::uint8_t* bytes, std::size_t length) = 0;
    // True when a read completed; `received` is the count of bytes delivered.
    virtual bool Receive(std::uint8_t* buffer, std::size_t capacity, std::size_t& received) = 0;
};

} // namespace knot::device
