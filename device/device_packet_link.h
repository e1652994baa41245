// The PacketLink of an open unit: BinSendToDevice and ReceiveFromDevice on the link's handle.
// It reads the DeviceLink at each call, so it follows the link through closes and re-opens.
#pragma once

#include "device_access.h"
#include "device_link.h"
#include "packet_link.h"

namespace knot::device {
class DevicePacketLink : public PacketLink {
  public:
    // Both must outlive this object.
    DevicePacketLink(DeviceAccess& access, const DeviceLink& link)
        : m_access(access), m_link(link) {}

    std::int32_t packetSize() const override { return m_link.packetSize; }
    bool Send(const std::uint8_t* bytes, std::size_t length) override;
    bool Receive(std::uint8_t* buffer, std::size_t capacity, std::size_t& received) override;

  private:
    DeviceAccess& m_access;
    const DeviceLink& m_link;
};

} // namespace knot::device
