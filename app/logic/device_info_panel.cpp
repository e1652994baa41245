// The identity rows: reset and query.
#include "device_info_panel.h"

#include "command_texts.h"
#include "operator_texts.h"

#include <cstdio>
#include <cstring>

namespace knot::logic {
using namespace knot::device;

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

DeviceInfoPanel::DeviceInfoPanel(const VariantProfile& profile, LogicObserver& events,
                                 PacketProtocol& protocol)
    : m_profile(profile), m_events(events), m_protocol(protocol) {}

void DeviceInfoPanel::ResetDeviceInfo() {
    m_values.fill(IDENTITY_PLACEHOLDER);
    m_events.OnLogicEvent(IdentityReset{});
}

bool DeviceInfoPanel::QueryDeviceInfo() {
    m_queryFault = IdentityFault::None;
    IdentityRead read;
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
        read.answered[row] = true;
    }
    read.rows = m_values;
    read.fault = m_queryFault;
    m_events.OnLogicEvent(read);
    return m_queryFault == IdentityFault::None;
}

} // namespace knot::logic
