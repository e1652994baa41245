#include "unit_config.h"

#include "disconnect_event.h"
#include "unit_packet.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace knot::sim {
using namespace knot::device;

namespace {

// The instance part of the path that tells the packet size apart.
constexpr const char* INSTANCE_LONG = "00001";
constexpr const char* INSTANCE_SHORT = "00002";

bool ParseUnsigned(std::string text, int base, std::uint64_t limit, std::uint64_t& value) {
    if (base == 16 && text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text = text.substr(2);
    if (text.empty())
        return false;
    std::uint64_t parsed = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed, base);
    if (error != std::errc{} || end != text.data() + text.size() || parsed > limit)
        return false;
    value = parsed;
    return true;
}

// A slot travels as one word of a control request and one field of an enumeration line, and
// under Windows through the setup service's ANSI calls: printable ASCII only, which real
// locations are.
bool IsSlotText(const std::string& text) {
    return !text.empty() && text.size() <= SLOT_TEXT_LIMIT &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= ' ' && c <= '~'; });
}

} // namespace

bool ParsePlugOptions(const std::vector<std::string>& args, UnitConfig& config,
                      std::string& error) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& option = args[i];
        auto takeValue = [&](std::string& value) {
            if (i + 1 >= args.size()) {
                error = option + " needs a value";
                return false;
            }
            value = args[++i];
            return true;
        };
        std::string value;
        std::uint64_t number = 0;
        if (option == "--no-descriptor") {
            config.hasDescriptor = false;
        } else if (option == "--no-number") {
            config.hasNumber = false;
        } else if (option == "--no-event") {
            config.hasEvent = false;
        } else if (option == "--vendor" || option == "--product") {
            if (!takeValue(value))
                return false;
            if (!ParseUnsigned(value, 16, 0xFFFF, number)) {
                error = option + " takes a hexadecimal id such as 0x7832, not \"" + value + "\"";
                return false;
            }
            (option == "--vendor" ? config.vendorId : config.productId) =
                static_cast<std::uint16_t>(number);
        } else if (option == "--number") {
            if (!takeValue(value))
                return false;
            if (!ParseUnsigned(value, 10, 0x7FFFFFFF, number)) {
                error = "--number takes a device number from 0, not \"" + value + "\"";
                return false;
            }
            config.number = static_cast<std::int32_t>(number);
        } else if (option == "--packet-size") {
            if (!takeValue(value))
                return false;
            if (value == "64") {
                config.packetSize = UNIT_PACKET_SIZE_LONG;
            } else if (value == "62") {
                config.packetSize = UNIT_PACKET_SIZE_SHORT;
            } else {
                error = "--packet-size takes 62 or 64, not \"" + value + "\"";
                return false;
            }
        } else if (option == "--program-name" || option == "--version") {
            if (!takeValue(value))
                return false;
            if (value.size() > IDENTITY_TEXT_SIZE) {
                error = option + " takes at most 8 characters, not \"" + value + "\"";
                return false;
            }
            (option == "--program-name" ? config.programName : config.version) = value;
        } else if (option == "--checksum") {
            if (!takeValue(value))
                return false;
            const bool fourDigits =
                value.size() == 4 &&
                value.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
            if (!fourDigits || !ParseUnsigned(value, 16, 0xFFFF, number)) {
                error = "--checksum takes four hexadecimal digits, not \"" + value + "\"";
                return false;
            }
            config.checksum = static_cast<std::uint16_t>(number);
        } else if (option == "--slot") {
            if (!takeValue(value))
                return false;
            if (!IsSlotText(value)) {
                error = "--slot takes 1 to " + std::to_string(SLOT_TEXT_LIMIT) +
                        " printable ASCII characters, not \"" + value + "\"";
                return false;
            }
            config.slot = value;
        } else if (option == "--fault") {
            if (!takeValue(value))
                return false;
            const auto fault = ParseFaultSpec(value);
            if (!fault) {
                error = "unknown fault \"" + value + "\"";
                return false;
            }
            config.faults.push_back(*fault);
        } else {
            error = "unknown option \"" + option + "\"";
            return false;
        }
    }
    return true;
}

std::string UnitDeviceId(const UnitConfig& config) {
    char id[64];
    std::snprintf(id, sizeof id, "VID_%04X&PID_%04X#%s", config.vendorId, config.productId,
                  config.packetSize == UNIT_PACKET_SIZE_SHORT ? INSTANCE_SHORT : INSTANCE_LONG);
    return id;
}

std::string UnitDevicePath(const UnitConfig& config) {
    return "\\\\?\\usb#" + UnitDeviceId(config) + "#unit" + std::to_string(config.number) + "#" +
           UNIT_INTERFACE_CLASS_TEXT;
}

std::string UnitEventName(const UnitConfig& config) {
    return DisconnectEventName(config.hasNumber ? config.number : UNKNOWN_DEVICE_NUMBER);
}

std::array<std::uint8_t, 8> UnitDescriptor(const UnitConfig& config) {
    // Bytes 0-1 and 6-7 mean nothing to the host and stay zero.
    std::array<std::uint8_t, 8> descriptor{};
    descriptor[DESCRIPTOR_VENDOR_ID_OFFSET] = static_cast<std::uint8_t>(config.vendorId & 0xFF);
    descriptor[DESCRIPTOR_VENDOR_ID_OFFSET + 1] = static_cast<std::uint8_t>(config.vendorId >> 8);
    descriptor[DESCRIPTOR_PRODUCT_ID_OFFSET] = static_cast<std::uint8_t>(config.productId & 0xFF);
    descriptor[DESCRIPTOR_PRODUCT_ID_OFFSET + 1] = static_cast<std::uint8_t>(config.productId >> 8);
    return descriptor;
}

std::string DescribeUnit(const UnitConfig& config) {
    char ids[96];
    std::snprintf(ids, sizeof ids, "%d vendor=0x%04X product=0x%04X packet-size=%zu checksum=%04X",
                  static_cast<int>(config.number), config.vendorId, config.productId,
                  config.packetSize, config.checksum);
    std::string line = ids;
    line += " program-name=\"" + config.programName + "\" version=\"" + config.version + "\"";
    if (!config.hasDescriptor)
        line += " no-descriptor";
    if (!config.hasNumber)
        line += " no-number";
    if (!config.hasEvent)
        line += " no-event";
    for (const FaultSpec& fault : config.faults)
        line += " fault=" + FormatFaultSpec(fault);
    if (!config.slot.empty())
        line += " slot=\"" + config.slot + "\"";
    line += " path=" + UnitDevicePath(config);
    return line;
}

} // namespace knot::sim
