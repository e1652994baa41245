#include "device_access.h"

#include "transfer_log.h"
#include "unit_qualification.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

// Releases an interface set when the operation that obtained it ends, however it ends.
class InterfaceSet {
  public:
    explicit InterfaceSet(DriverPort& port) : m_port(port), m_set(port.GetClassDevices()) {}
    ~InterfaceSet() {
        if (valid()) {
            m_port.DestroyDeviceInfoList(m_set);
        }
    }
    InterfaceSet(const InterfaceSet&) = delete;
    InterfaceSet& operator=(const InterfaceSet&) = delete;

    bool valid() const { return m_set != INVALID_PORT_HANDLE; }
    PortHandle handle() const { return m_set; }

  private:
    DriverPort& m_port;
    PortHandle m_set;
};

// The detail query as the setup service asks for it: the size first, then the path.
bool ReadInterfacePath(DriverPort& port, PortHandle set, std::uint32_t index, std::string& path) {
    if (port.GetInterfaceDetailSize(set, index) == 0) {
        return false;
    }
    return port.GetInterfaceDetail(set, index, path);
}

} // namespace

int CountDeviceInterfaces(DriverPort& port) {
    InterfaceSet set(port);
    if (!set.valid()) {
        return 0;
    }
    int count = 0;
    while (port.EnumDeviceInterface(set.handle(), static_cast<std::uint32_t>(count))) {
        ++count;
    }
    return count;
}

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
    return ::CountDeviceInterfaces(m_port);
}

PortHandle DeviceAccess::OpenDeviceInterface(std::uint32_t index) {
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
    return handle == INVALID_PORT_HANDLE ? NULL_PORT_HANDLE : handle;
}

DeviceAccess::PathRead DeviceAccess::ReadDevicePath(std::uint32_t index, char* buffer,
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

bool DeviceAccess::GetDevicePath(std::uint32_t index, char* buffer, std::size_t capacity) {
    return ReadDevicePath(index, buffer, capacity) == PathRead::Read;
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

bool DeviceAccess::OpenDeviceLink(DeviceLink& link) {
    const int count = CountDeviceInterfaces();
    std::array<char, DEVICE_PATH_BUFFER_SIZE> path{};
    std::array<std::uint8_t, DEVICE_DESCRIPTOR_SIZE> descriptor{};
    m_unjudged = 0;
    for (int i = 0; i < count; ++i) {
        const auto index = static_cast<std::uint32_t>(i);
        link.handle = OpenDeviceInterface(index);
        path.fill(0);
        PathRead pathRead = ReadDevicePath(index, path.data(), DEVICE_PATH_CAPACITY);
        descriptor.fill(0);
        const bool described =
            link.handle != NULL_PORT_HANDLE && pathRead != PathRead::TooLong &&
            GetDeviceDescriptor(link.handle, descriptor.data(), descriptor.size());
        if (described && IsUnitProduct(ReadUnitIds(descriptor.data()))) {
            break;
        }
        if (!described && pathRead != PathRead::TooLong) {
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

    link.packetSize = PacketSizeFor(path.data(), ReadUnitIds(descriptor.data()));

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
