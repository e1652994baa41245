// Watching the packets of one exchange.
#include "exchange_observer.h"

#include "packet_protocol.h"

namespace knot::device {
bool ObservedPacketLink::Send(const std::uint8_t* bytes, std::size_t length) {
    m_sentCode = length > PACKET_CODE_LOW_OFFSET ? PacketCommandCode(bytes) : 0;
    m_refused = false;
    m_sendFailed = !m_inner.Send(bytes, length);
    return !m_sendFailed;
}

bool ObservedPacketLink::Receive(std::uint8_t* buffer, std::size_t capacity,
                                 std::size_t& received) {
    bool ok = m_inner.Receive(buffer, capacity, received);
    if (ok && received == static_cast<std::size_t>(m_inner.packetSize()) &&
        received > PACKET_CODE_LOW_OFFSET && PacketCommandCode(buffer) == m_sentCode &&
        !IsAcceptedResponse(buffer)) {
        m_refused = true;
    }
    return ok;
}

ExchangeFault ObservedPacketLink::LastFault() const {
    if (m_sendFailed) {
        return ExchangeFault::LinkFailed;
    }
    return m_refused ? ExchangeFault::Refused : ExchangeFault::NoAnswer;
}

} // namespace knot::device
