// The unit a window or a lane talks to.
#include "unit_link.h"

namespace knot::device {
UnitLink::UnitLink(DriverPort& port, TransferLog& log) : m_access(port, log) {}

bool UnitLink::Open() {
    return m_access.OpenDeviceLink(m_link, &m_devicePath);
}

void UnitLink::Close() {
    m_access.CloseDeviceLink(m_link);
}

void UnitLink::Forget() {
    m_link.handle = INVALID_PORT_HANDLE;
    m_link.deviceNumber = UNKNOWN_DEVICE_NUMBER;
    m_devicePath.clear();
}

bool UnitLink::Send(const std::uint8_t* bytes, std::size_t length) {
    return m_packets.Send(bytes, length);
}

bool UnitLink::Receive(std::uint8_t* buffer, std::size_t capacity, std::size_t& received) {
    return m_packets.Receive(buffer, capacity, received);
}

} // namespace knot::device
