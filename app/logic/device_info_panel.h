// The identity rows of the main window ("Program Name", "Version", "Check SUM"): their reset to
// placeholders and the query that fills them from the unit's answers.
#pragma once

#include "failure.h"
#include "logic_events.h"
#include "packet_protocol.h"
#include "variant_profile.h"

#include <array>
#include <optional>
#include <string>

namespace knot::logic {
using namespace knot::core;
using namespace knot::device;

// Failed receives allowed per row; a response for another command sets them back to ACK_TRIES.
inline constexpr int IDENTITY_QUERY_TRIES = 10;
// A code whose bits under this mask equal IDENTITY_HEX_FORM_CODE is shown in hexadecimal.
inline constexpr CommandCode IDENTITY_HEX_FORM_MASK = 0x3F0F;
inline constexpr CommandCode IDENTITY_HEX_FORM_CODE = 0x0802;
// Text answers are the 8 bytes from PACKET_PARAMETER_OFFSET, up to the first NUL.
inline constexpr std::size_t IDENTITY_TEXT_LENGTH = 8;

// The value shown for an accepted answer to `code`: hexadecimal "%02X%02X" of bytes 14 and 15
// for the checksum form, otherwise the text of bytes 14 to 21 up to the first NUL (any byte may
// appear; views treat it as Latin-1).
std::string FormatIdentityValue(CommandCode code, const std::uint8_t* response);

class DeviceInfoPanel {
  public:
    // All must outlive the panel.
    DeviceInfoPanel(const VariantProfile& profile, LogicObserver& events, PacketProtocol& protocol);

    // Three rows with their placeholders (IdentityReset: the window also empties its bar).
    void ResetDeviceInfo();
    // Queries the three rows in order; nothing when each got an accepted answer, else the
    // failure of the first row that failed (stage Identity). A row that fails keeps its previous
    // value and does not stop the others. Tells IdentityRead.
    std::optional<Failure> QueryDeviceInfo();

    // What each row shows now.
    const IdentityValues& Values() const { return m_values; }

  private:
    const VariantProfile& m_profile;
    LogicObserver& m_events;
    PacketProtocol& m_protocol;
    IdentityValues m_values;
};

} // namespace knot::logic
