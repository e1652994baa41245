// The identity rows of the main window ("Program Name", "Version", "Check SUM"): their reset to
// placeholders and the query that fills them from the unit's answers.
#pragma once

#include "flash_transfer_view.h"
#include "packet_protocol.h"
#include "variant_profile.h"

#include <array>
#include <string>

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

// Why the last identity query did not fill every row: the fault of its first row that failed.
enum class IdentityFault {
    None,
    LinkFailed, // the driver did not take the query
    Refused,    // the unit answered it with a refusal
    NoAnswer,   // the failed receives used up the row's budget
    OutOfTurn,  // the unit kept answering with the wrong size or for another command
};

class DeviceInfoPanel {
  public:
    // All must outlive the panel.
    DeviceInfoPanel(const VariantProfile& profile, FlashTransferView& view,
                    PacketProtocol& protocol);

    // Three rows with their labels and placeholders; the progress bar empty on 0..1.
    void ResetDeviceInfo();
    // Queries the three rows in order; true when each got an accepted answer. A row that fails
    // keeps its previous value and does not stop the others.
    bool QueryDeviceInfo();

    // What each row shows now (for knot-fdt and tests).
    const std::array<std::string, IDENTITY_ROW_COUNT>& Values() const { return m_values; }
    // Why the last query failed (knot-fdt says so; the window shows only the rows).
    IdentityFault QueryFault() const { return m_queryFault; }

  private:
    const VariantProfile& m_profile;
    FlashTransferView& m_view;
    PacketProtocol& m_protocol;
    std::array<std::string, IDENTITY_ROW_COUNT> m_values;
    IdentityFault m_queryFault = IdentityFault::None;
};
