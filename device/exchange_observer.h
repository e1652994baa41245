// A PacketLink that passes every packet through to another link and remembers how the last
// exchange went, so that a failed block can be told apart: link failure, refusal or silence.
#pragma once

#include "packet_link.h"
#include "variant_profile.h"

namespace knot::device {
using namespace knot::core;

// Why the last exchange did not end with an accepting answer.
enum class ExchangeFault {
    None,       // the last send went out and no refusal was seen
    LinkFailed, // the driver did not take the last packet
    Refused,    // the unit answered the last command with a refusal
    NoAnswer,   // the packet went out but no accepting answer came
};

class ObservedPacketLink : public PacketLink {
  public:
    // `inner` must outlive this object.
    explicit ObservedPacketLink(PacketLink& inner) : m_inner(inner) {}

    std::int32_t packetSize() const override { return m_inner.packetSize(); }
    bool Send(const std::uint8_t* bytes, std::size_t length) override;
    bool Receive(std::uint8_t* buffer, std::size_t capacity, std::size_t& received) override;

    // The fault of the exchange begun by the last Send, judged after its wait failed.
    ExchangeFault LastFault() const;

  private:
    PacketLink& m_inner;
    CommandCode m_sentCode = 0;
    bool m_sendFailed = false;
    bool m_refused = false;
};

} // namespace knot::device
