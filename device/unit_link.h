// The one unit a window or a lane talks to: opened by the device search over a port, its packets
// carried (and traced) through DeviceAccess while it is open, and the path it was opened at.
#pragma once

#include "device_access.h"
#include "device_link.h"
#include "device_packet_link.h"
#include "packet_link.h"

#include <string>

namespace knot::device {
class TransferLog;

class UnitLink : public PacketLink {
  public:
    // `port` and `log` must outlive the link.
    UnitLink(DriverPort& port, TransferLog& log);

    // Opens the first interface that qualifies; false when none does (nothing stays open).
    bool Open();
    // Closes the handle; the packet size, the device number and the path stay.
    void Close();
    // No unit any more: the handle and the device number go back to their invalid markers and
    // the path is forgotten. Closes nothing.
    void Forget();

    bool IsOpen() const { return m_link.IsOpen(); }
    const DeviceLink& Link() const { return m_link; }
    // The device path the open unit was opened at ("" before the first open).
    const std::string& DevicePath() const { return m_devicePath; }
    DeviceAccess& Access() { return m_access; }
    DriverPort& Port() { return m_access.port(); }

    std::int32_t packetSize() const override { return m_packets.packetSize(); }
    bool Send(const std::uint8_t* bytes, std::size_t length) override;
    bool Receive(std::uint8_t* buffer, std::size_t capacity, std::size_t& received) override;

  private:
    DeviceAccess m_access;
    DeviceLink m_link;
    DevicePacketLink m_packets{m_access, m_link};
    std::string m_devicePath;
};

} // namespace knot::device
