#include "device_packet_link.h"

namespace knot::device {
bool DevicePacketLink::Send(const std::uint8_t* bytes, std::size_t length) {
    std::size_t returned = 0;
    return m_access.BinSendToDevice(m_link.handle, bytes, length, returned);
}

bool DevicePacketLink::Receive(std::uint8_t* buffer, std::size_t capacity, std::size_t& received) {
    received = 0;
    return m_access.ReceiveFromDevice(m_link.handle, buffer, capacity, received);
}

} // namespace knot::device
