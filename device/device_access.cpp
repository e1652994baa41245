#include "device_access.h"

#include "transfer_log.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <string>

namespace knot::device {
DeviceAccess::DeviceAccess(DriverPort& port, TransferLog& log)
    : m_port(port), m_log(log), m_diagnostics([](std::string_view text) {
          std::fwrite(text.data(), 1, text.size(), stdout);
      }) {}

void DeviceAccess::Print(std::string_view text) {
    if (m_diagnostics) {
        m_diagnostics(text);
    }
}

int DeviceAccess::CountDeviceInterfaces() {
    return device::CountDeviceInterfaces(m_port);
}

PortHandle DeviceAccess::OpenDeviceInterface(std::uint32_t index, std::string& openedPath) {
    InterfaceSet set(m_port);
    if (!set.valid()) {
        Print(NO_DEVICE_INFO_TEXT);
        return NULL_PORT_HANDLE;
    }
    if (!m_port.EnumDeviceInterface(set.handle(), index)) {
        Print(NO_INTERFACE_DATA_TEXT);
        return NULL_PORT_HANDLE;
    }
    std::string path;
    if (!ReadInterfacePath(m_port, set.handle(), index, path)) {
        return NULL_PORT_HANDLE;
    }
    std::string line(std::strlen(SYMBOLIC_LINK_FORMAT) + path.size(), '\0');
    int length = std::snprintf(line.data(), line.size() + 1, SYMBOLIC_LINK_FORMAT, path.c_str());
    line.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
    Print(line);
    PortHandle handle = m_port.CreateFile(path);
    if (handle == INVALID_PORT_HANDLE) {
        return NULL_PORT_HANDLE;
    }
    openedPath = path;
    return handle;
}

DeviceAccess::PathRead DeviceAccess::GetDevicePath(std::uint32_t index, char* buffer,
                                                   std::size_t capacity) {
    if (buffer == nullptr) {
        return PathRead::Unreadable;
    }
    InterfaceSet set(m_port);
    std::string path;
    if (!set.valid() || !m_port.EnumDeviceInterface(set.handle(), index) ||
        !ReadInterfacePath(m_port, set.handle(), index, path)) {
        return PathRead::Unreadable;
    }
    std::memset(buffer, 0, capacity);
    // The path must fit with its terminating zero; a cut path could match the wrong pattern.
    if (path.size() + 1 > capacity) {
        return PathRead::TooLong;
    }
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return PathRead::Read;
}

bool DeviceAccess::GetDeviceDescriptor(PortHandle handle, void* buffer, std::size_t size) {
    std::size_t returned = 0;
    return m_port.DeviceIoControl(handle, IOCTL_UNIT_GET_DESCRIPTOR, nullptr, 0, buffer, size,
                                  returned);
}

bool DeviceAccess::GetDeviceNumber(PortHandle handle, std::int32_t& number) {
    std::int32_t value = 0;
    std::size_t returned = 0;
    if (!m_port.DeviceIoControl(handle, IOCTL_UNIT_GET_DEVICE_NUMBER, nullptr, 0, &value,
                                sizeof value, returned)) {
        return false;
    }
    number = value;
    return true;
}

bool DeviceAccess::BinSendToDevice(PortHandle handle, const void* bytes, std::size_t length,
                                   std::size_t& returned) {
    bool ok = m_port.DeviceIoControl(handle, IOCTL_UNIT_SEND, bytes, length, nullptr, 0, returned);
    m_log.WriteTransferLog(SEND_OPERATION_NAME, FormatSendMessage(bytes, length, ok).c_str(),
                           handle);
    return ok;
}

bool DeviceAccess::ReceiveFromDevice(PortHandle handle, void* buffer, std::size_t capacity,
                                     std::size_t& returned) {
    bool ok =
        m_port.DeviceIoControl(handle, IOCTL_UNIT_RECEIVE, nullptr, 0, buffer, capacity, returned);
    m_log.WriteTransferLog(RECEIVE_OPERATION_NAME,
                           FormatReceiveMessage(buffer, capacity, ok).c_str(), handle);
    return ok;
}

PortHandle DeviceAccess::InspectInterface(std::uint32_t index, UnitInterface& unit) {
    std::string openedPath;
    return InspectInterface(index, unit, openedPath);
}

PortHandle DeviceAccess::InspectInterface(std::uint32_t index, UnitInterface& unit,
                                          std::string& openedPath) {
    unit = UnitInterface{};
    unit.index = index;
    openedPath.clear();
    const PortHandle handle = OpenDeviceInterface(index, openedPath);
    std::array<char, DEVICE_PATH_BUFFER_SIZE> path{};
    const PathRead pathRead = GetDevicePath(index, path.data(), DEVICE_PATH_CAPACITY);
    std::array<std::uint8_t, DEVICE_DESCRIPTOR_SIZE> descriptor{};
    unit.hasDescriptor = handle != NULL_PORT_HANDLE &&
                         GetDeviceDescriptor(handle, descriptor.data(), descriptor.size());
    const UnitIds ids = unit.hasDescriptor ? ReadUnitIds(descriptor.data()) : UnitIds{};
    unit.vendorId = ids.vendorId;
    unit.productId = ids.productId;
    // A path that fits the buffer only when cut could match the wrong pattern: refused.
    unit.pathTooLong = pathRead == PathRead::TooLong;
    unit.qualifies = unit.hasDescriptor && !unit.pathTooLong && IsUnitProduct(ids);
    // A path unread after the open leaves the buffer empty, so the packets are full-size; the
    // unit is still the one at the path it was opened at.
    unit.path = pathRead == PathRead::Read         ? std::string(path.data())
                : pathRead == PathRead::Unreadable ? openedPath
                                                   : std::string();
    unit.packetSize = PacketSizeFor(path.data(), ids);
    return handle;
}

bool DeviceAccess::OpenDeviceLink(DeviceLink& link, std::string* openedPath) {
    const int count = CountDeviceInterfaces();
    UnitInterface unit;
    std::string path;
    m_unjudged = 0;
    for (int i = 0; i < count; ++i) {
        link.handle = InspectInterface(static_cast<std::uint32_t>(i), unit, path);
        if (unit.qualifies) {
            break;
        }
        if (unit.Unjudged()) {
            ++m_unjudged;
        }
        if (link.handle != NULL_PORT_HANDLE) {
            m_port.CloseHandle(link.handle);
        }
        link.handle = INVALID_PORT_HANDLE;
    }
    if (link.handle == INVALID_PORT_HANDLE) {
        return false;
    }

    link.packetSize = unit.packetSize;
    if (openedPath != nullptr) {
        *openedPath = path;
    }

    if (!GetDeviceNumber(link.handle, link.deviceNumber)) {
        link.deviceNumber = UNKNOWN_DEVICE_NUMBER;
    }
    return true;
}

void DeviceAccess::CloseDeviceLink(DeviceLink& link) {
    // The handle is tested before use: closing a link that is not open only marks it again.
    if (link.handle != INVALID_PORT_HANDLE) {
        m_port.CloseHandle(link.handle);
    }
    link.handle = INVALID_PORT_HANDLE;
}

} // namespace knot::device
