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

std::optional<Failure> DeviceInfoPanel::QueryDeviceInfo() {
    std::optional<Failure> failure;
    IdentityRead read;
    auto fail = [&failure](Cause cause) {
        if (!failure) {
            failure = Failure{Stage::Identity, 0, cause};
        }
    };
    for (int row = 0; row < IDENTITY_ROW_COUNT; ++row) {
        CommandCode sent =
            m_protocol.SendCommandText(IdentityQueryText(m_profile.identityQueryCodes[row]));
        if (sent == 0) {
            fail(Cause::LinkFailed);
            continue;
        }
        // The reader's rules are those of the acknowledgment wait with a larger budget: a failed
        // receive costs a try, a wrong size costs nothing, another command's answer resets to 3,
        // and a long run of answers that do not count ends the row.
        std::uint8_t response[PACKET_IMAGE_SIZE];
        const Exchange answer =
            AwaitResponse(m_protocol.link(), sent, IDENTITY_QUERY_TRIES, response);
        if (answer != Exchange::Accepted) {
            fail(answer == Exchange::Refused    ? Cause::Refused
                 : answer == Exchange::NoAnswer ? Cause::NoAnswer
                                                : Cause::OutOfTurn);
            continue;
        }
        m_values[row] = FormatIdentityValue(sent, response);
        read.answered[row] = true;
    }
    read.rows = m_values;
    m_events.OnLogicEvent(read);
    return failure;
}

} // namespace knot::logic
