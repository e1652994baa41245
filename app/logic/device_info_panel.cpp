// The identity rows: reset and query.
#include "device_info_panel.h"

#include "command_texts.h"
#include "operator_texts.h"

#include <cstdio>
#include <cstring>

std::string FormatIdentityValue(CommandCode code, const std::uint8_t* response) {
    const std::uint8_t* payload = response + PACKET_PARAMETER_OFFSET;
    if ((code & IDENTITY_HEX_FORM_MASK) == IDENTITY_HEX_FORM_CODE) {
        char text[8];
        std::snprintf(text, sizeof text, "%02X%02X", payload[0], payload[1]);
        return text;
    }
    const void* nul = std::memchr(payload, 0, IDENTITY_TEXT_LENGTH);
    std::size_t length =
        nul ? static_cast<const std::uint8_t*>(nul) - payload : IDENTITY_TEXT_LENGTH;
    return std::string(reinterpret_cast<const char*>(payload), length);
}

DeviceInfoPanel::DeviceInfoPanel(const VariantProfile& profile, FlashTransferView& view,
                                 PacketProtocol& protocol)
    : m_profile(profile), m_view(view), m_protocol(protocol) {}

void DeviceInfoPanel::ResetDeviceInfo() {
    m_view.ClearIdentityList();
    for (int row = 0; row < IDENTITY_ROW_COUNT; ++row) {
        m_view.SetIdentityText(row, IDENTITY_LABEL_COLUMN, IDENTITY_ROW_LABELS[row]);
        m_view.SetIdentityText(row, IDENTITY_VALUE_COLUMN, IDENTITY_PLACEHOLDER);
        m_values[row] = IDENTITY_PLACEHOLDER;
    }
    m_view.SetProgressRange(1);
    m_view.SetProgressPos(0);
}

bool DeviceInfoPanel::QueryDeviceInfo() {
    m_queryFault = IdentityFault::None;
    auto fail = [this](IdentityFault fault) {
        if (m_queryFault == IdentityFault::None) {
            m_queryFault = fault;
        }
    };
    for (int row = 0; row < IDENTITY_ROW_COUNT; ++row) {
        CommandCode sent =
            m_protocol.SendCommandText(IdentityQueryText(m_profile.identityQueryCodes[row]));
        if (sent == 0) {
            fail(IdentityFault::LinkFailed);
            continue;
        }
        // The reader's rules are those of the acknowledgment wait with a larger budget: a failed
        // receive costs a try, a wrong size costs nothing, another command's answer resets to 3,
        // and a long run of answers that do not count ends the row.
        std::uint8_t response[PACKET_IMAGE_SIZE];
        ResponseOutcome outcome =
            AwaitResponse(m_protocol.link(), sent, IDENTITY_QUERY_TRIES, response);
        if (outcome != ResponseOutcome::Accepted) {
            fail(outcome == ResponseOutcome::Refused    ? IdentityFault::Refused
                 : outcome == ResponseOutcome::NoAnswer ? IdentityFault::NoAnswer
                                                        : IdentityFault::OutOfTurn);
            continue;
        }
        m_values[row] = FormatIdentityValue(sent, response);
        m_view.SetIdentityText(row, IDENTITY_VALUE_COLUMN, m_values[row]);
    }
    return m_queryFault == IdentityFault::None;
}
