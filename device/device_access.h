// Opening units and talking to them over a DriverPort: the device search that picks the unit to
// open, the descriptor and number queries, and every packet sent or received, each traced
// through the TransferLog it is given.
#pragma once

#include "device_link.h"
#include "driver_port.h"
#include "interface_survey.h"
#include "unit_qualification.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace knot::device {
class TransferLog;

// Diagnostic texts of the device search; they go to standard output unless redirected.
inline constexpr const char* NO_DEVICE_INFO_TEXT = "No HDEVINFO available for this GUID\n";
inline constexpr const char* NO_INTERFACE_DATA_TEXT =
    "No SP_INTERFACE_DEVICE_DATA available for this GUID instance\n";
inline constexpr const char* SYMBOLIC_LINK_FORMAT = "Symbolic link is %s\n";

// The handle OpenDeviceInterface gives on any failure.
inline constexpr PortHandle NULL_PORT_HANDLE = 0;

class DeviceAccess {
  public:
    using DiagnosticSink = std::function<void(std::string_view text)>;

    // `port` and `log` must outlive this object. Diagnostics go to stdout unless replaced.
    DeviceAccess(DriverPort& port, TransferLog& log);

    void SetDiagnosticSink(DiagnosticSink sink) { m_diagnostics = std::move(sink); }

    int CountDeviceInterfaces();
    bool GetDeviceDescriptor(PortHandle handle, void* buffer, std::size_t size);
    // On failure `number` is left unchanged.
    bool GetDeviceNumber(PortHandle handle, std::int32_t& number);

    // One packet each way; both write a trace line whatever the outcome.
    bool BinSendToDevice(PortHandle handle, const void* bytes, std::size_t length,
                         std::size_t& returned);
    bool ReceiveFromDevice(PortHandle handle, void* buffer, std::size_t capacity,
                           std::size_t& returned);

    // Judges interface `index` as the unit selection does: it is opened (with the search's
    // diagnostics), its path is read into the search's 256-byte buffer, and its descriptor is
    // read from the open handle. Fills every field of `unit` but deviceNumber and returns the
    // handle, open whatever the verdict; NULL_PORT_HANDLE when the interface did not open.
    PortHandle InspectInterface(std::uint32_t index, UnitInterface& unit);

    // Selects the first interface that qualifies and fills all three fields of `link`, and
    // `openedPath` (when given) with the path it was opened at. False when none qualifies; with
    // no interface at all `link` is left as it came.
    bool OpenDeviceLink(DeviceLink& link, std::string* openedPath = nullptr);
    // How many interfaces the last OpenDeviceLink passed over without judging them: they could
    // not be opened or gave no descriptor, so they may still turn out to be a unit.
    int UnjudgedInterfaces() const { return m_unjudged; }
    // Closes the handle and marks it invalid; packetSize and deviceNumber stay.
    void CloseDeviceLink(DeviceLink& link);

    DriverPort& port() { return m_port; }

  private:
    friend struct DeviceAccessSeam; // the suites' reach to the two steps below

    // Opens interface `index` (from 0) and gives the path it was opened at; NULL_PORT_HANDLE on
    // any failure.
    PortHandle OpenDeviceInterface(std::uint32_t index, std::string& openedPath);
    // Copies interface `index`'s device path with its zero into `buffer`, after clearing
    // `capacity` bytes of it; a path that does not fit `capacity` with its zero leaves the
    // buffer cleared.
    enum class PathRead { Read, Unreadable, TooLong };
    PathRead GetDevicePath(std::uint32_t index, char* buffer, std::size_t capacity);
    // InspectInterface, which also gives the path the interface was opened at.
    PortHandle InspectInterface(std::uint32_t index, UnitInterface& unit, std::string& openedPath);
    void Print(std::string_view text);

    DriverPort& m_port;
    TransferLog& m_log;
    DiagnosticSink m_diagnostics;
    int m_unjudged = 0;
};

} // namespace knot::device
