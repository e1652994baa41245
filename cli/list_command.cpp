#include "list_command.h"

#include "device_access.h"
#include "device_link.h"
#include "transfer_log.h"
#include "unit_driver_port.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct InterfaceInfo {
    std::uint32_t index = 0;
    std::string path;
    bool opened = false;
    bool hasDescriptor = false;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    bool qualifies = false;
    std::int32_t packetSize = FULL_PACKET_SIZE;
    std::int32_t deviceNumber = UNKNOWN_DEVICE_NUMBER;
};

std::uint16_t LittleEndian16(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
}

// The unit selection's packet-size rule: the short-packet mark in the upper-cased path.
std::int32_t PacketSizeFor(std::string path, std::uint16_t vendorId, std::uint16_t productId) {
    for (char& c : path) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    char pattern[32];
    std::snprintf(pattern, sizeof pattern, SHORT_PACKET_PATH_PATTERN, unsigned{vendorId},
                  unsigned{productId});
    return path.find(pattern) != std::string::npos ? SHORT_PACKET_SIZE : FULL_PACKET_SIZE;
}

InterfaceInfo Inspect(DeviceAccess& access, std::uint32_t index) {
    InterfaceInfo info;
    info.index = index;
    std::array<char, DEVICE_PATH_BUFFER_SIZE> path{};
    if (access.GetDevicePath(index, path.data(), DEVICE_PATH_CAPACITY)) {
        info.path = path.data();
    }
    PortHandle handle = access.OpenDeviceInterface(index);
    if (handle == NULL_PORT_HANDLE || handle == INVALID_PORT_HANDLE) {
        return info;
    }
    info.opened = true;
    std::array<std::uint8_t, DEVICE_DESCRIPTOR_SIZE> descriptor{};
    if (access.GetDeviceDescriptor(handle, descriptor.data(), descriptor.size())) {
        info.hasDescriptor = true;
        info.vendorId = LittleEndian16(&descriptor[DESCRIPTOR_VENDOR_ID_OFFSET]);
        info.productId = LittleEndian16(&descriptor[DESCRIPTOR_PRODUCT_ID_OFFSET]);
    }
    access.GetDeviceNumber(handle, info.deviceNumber);
    access.port().CloseHandle(handle);
    info.qualifies = info.hasDescriptor && info.productId == UNIT_PRODUCT_ID && !info.path.empty();
    info.packetSize = PacketSizeFor(info.path, info.vendorId, info.productId);
    return info;
}

std::string Hex4(std::uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", unsigned{value});
    return text;
}

} // namespace

CLI::App* ListCommand::Register(CLI::App& app) {
    CLI::App* command = app.add_subcommand(
        "list", "List every present unit interface: index, device path, vendor and product id, "
                "whether it qualifies, packet size and device number");
    command->add_flag("--json", m_bJson, "print one JSON array instead of text");
    return command;
}

ExitCode ListCommand::Run() {
    std::unique_ptr<DriverPort> port = CreateUnitDriverPort();
    TransferLog log = TransferLog::AtPlatformPaths();
    DeviceAccess access(*port, log);
    access.SetDiagnosticSink([](std::string_view) {});
    int count = access.CountDeviceInterfaces();
    std::vector<InterfaceInfo> found;
    for (int i = 0; i < count; ++i) {
        found.push_back(Inspect(access, static_cast<std::uint32_t>(i)));
    }

    if (m_bJson) {
        nlohmann::ordered_json out = nlohmann::ordered_json::array();
        for (const InterfaceInfo& info : found) {
            nlohmann::ordered_json item;
            item["index"] = info.index;
            item["devicePath"] = info.path;
            item["vendorId"] = info.hasDescriptor ? nlohmann::ordered_json(Hex4(info.vendorId))
                                                  : nlohmann::ordered_json(nullptr);
            item["productId"] = info.hasDescriptor ? nlohmann::ordered_json(Hex4(info.productId))
                                                   : nlohmann::ordered_json(nullptr);
            item["qualifies"] = info.qualifies;
            item["packetSize"] = info.packetSize;
            item["deviceNumber"] = info.deviceNumber;
            out.push_back(std::move(item));
        }
        std::printf(
            "%s\n",
            out.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace).c_str());
        return ExitCode::Success;
    }
    if (found.empty()) {
        std::printf("no unit interfaces present\n");
        return ExitCode::Success;
    }
    std::printf("%-5s %-6s %-6s %-9s %-6s %-6s %s\n", "index", "vendor", "product", "qualifies",
                "packet", "number", "device path");
    for (const InterfaceInfo& info : found) {
        std::printf("%-5u %-6s %-7s %-9s %-6d %-6d %s\n", static_cast<unsigned>(info.index),
                    info.hasDescriptor ? Hex4(info.vendorId).c_str() : "?",
                    info.hasDescriptor ? Hex4(info.productId).c_str() : "?",
                    info.qualifies ? "yes" : "no", static_cast<int>(info.packetSize),
                    static_cast<int>(info.deviceNumber), info.path.c_str());
    }
    return ExitCode::Success;
}
