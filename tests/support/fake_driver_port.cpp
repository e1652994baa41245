#include "knot_names.h"

#include "fake_driver_port.h"

#include "packet_protocol.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr PortHandle FIRST_SET_HANDLE = 0x50;
constexpr PortHandle STOP_EVENT_HANDLE = 0x900;

std::string Hex(std::uintptr_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "%llX", static_cast<unsigned long long>(value));
    return text;
}

// The buffers each I/O control is issued with: the 8-byte descriptor, the 4-byte device
// number, a whole packet to send, the full 256-byte buffer to receive into. Any other size is
// refused, so that a call site that asks for the wrong size fails its tests.
bool BuffersFit(std::uint32_t code, const void* in, std::size_t inSize, const void* out,
                std::size_t outSize) {
    const bool noInput = in == nullptr && inSize == 0;
    const bool noOutput = out == nullptr && outSize == 0;
    switch (code) {
    case IOCTL_UNIT_GET_DESCRIPTOR:
        return noInput && out != nullptr && outSize == DEVICE_DESCRIPTOR_SIZE;
    case IOCTL_UNIT_GET_DEVICE_NUMBER:
        return noInput && out != nullptr && outSize == sizeof(std::int32_t);
    case IOCTL_UNIT_SEND:
        return noOutput && in != nullptr &&
               (inSize == static_cast<std::size_t>(FULL_PACKET_SIZE) ||
                inSize == static_cast<std::size_t>(SHORT_PACKET_SIZE));
    case IOCTL_UNIT_RECEIVE:
        return noInput && out != nullptr && outSize == PACKET_IMAGE_SIZE;
    default:
        return false;
    }
}

} // namespace

const FakeInterface* FakeDriverPort::Find(PortHandle set, std::uint32_t index) const {
    if (set < FIRST_SET_HANDLE || set >= FIRST_SET_HANDLE + static_cast<PortHandle>(m_setCount) ||
        index >= interfaces.size()) {
        return nullptr;
    }
    const FakeInterface& unit = interfaces[index];
    int setNumber = static_cast<int>(set - FIRST_SET_HANDLE);
    if (unit.goneFromSet >= 0 && setNumber >= unit.goneFromSet) {
        return nullptr;
    }
    return &unit;
}

void FakeDriverPort::Release(PortHandle handle) {
    auto it = std::find(openHandles.begin(), openHandles.end(), handle);
    if (it != openHandles.end()) {
        openHandles.erase(it);
    }
}

PortHandle FakeDriverPort::GetClassDevices() {
    calls.push_back("GetClassDevices");
    if (classDevicesFail) {
        return INVALID_PORT_HANDLE;
    }
    PortHandle set = FIRST_SET_HANDLE + static_cast<PortHandle>(m_setCount++);
    openHandles.push_back(set);
    return set;
}

bool FakeDriverPort::EnumDeviceInterface(PortHandle set, std::uint32_t index) {
    calls.push_back("Enum " + std::to_string(index));
    return Find(set, index) != nullptr;
}

std::size_t FakeDriverPort::GetInterfaceDetailSize(PortHandle set, std::uint32_t index) {
    calls.push_back("DetailSize " + std::to_string(index));
    const FakeInterface* unit = Find(set, index);
    return unit == nullptr || unit->detailSizeFails ? 0 : unit->path.size() + 1;
}

bool FakeDriverPort::GetInterfaceDetail(PortHandle set, std::uint32_t index, std::string& path) {
    calls.push_back("Detail " + std::to_string(index));
    const FakeInterface* unit = Find(set, index);
    if (unit == nullptr || unit->detailFails) {
        return false;
    }
    path = unit->path;
    return true;
}

void FakeDriverPort::DestroyDeviceInfoList(PortHandle set) {
    calls.push_back("Destroy " + Hex(set));
    Release(set);
}

PortHandle FakeDriverPort::CreateFile(const std::string& path) {
    calls.push_back("CreateFile " + path);
    for (std::size_t i = 0; i < interfaces.size(); ++i) {
        if (interfaces[i].path == path) {
            if (interfaces[i].openFails) {
                return INVALID_PORT_HANDLE;
            }
            openHandles.push_back(FileHandleOf(i));
            return FileHandleOf(i);
        }
    }
    return INVALID_PORT_HANDLE;
}

bool FakeDriverPort::DeviceIoControl(PortHandle handle, std::uint32_t code, const void* in,
                                     std::size_t inSize, void* out, std::size_t outSize,
                                     std::size_t& returned) {
    calls.push_back("Ioctl " + Hex(code) + " on " + Hex(handle));
    returned = 0;
    if (!BuffersFit(code, in, inSize, out, outSize)) {
        calls.back() += " refused: in " + std::to_string(inSize) + ", out " +
                        std::to_string(outSize) + " bytes";
        return false;
    }
    const std::size_t index = handle - FileHandleOf(0);
    const FakeInterface* unit = handle >= FileHandleOf(0) && index < interfaces.size() &&
                                        std::count(openHandles.begin(), openHandles.end(), handle)
                                    ? &interfaces[index]
                                    : nullptr;
    switch (code) {
    case IOCTL_UNIT_GET_DESCRIPTOR: {
        if (unit == nullptr || unit->descriptorFails) {
            return false;
        }
        std::uint8_t descriptor[DEVICE_DESCRIPTOR_SIZE] = {
            0x12,
            0x01,
            static_cast<std::uint8_t>(unit->vendorId),
            static_cast<std::uint8_t>(unit->vendorId >> 8),
            static_cast<std::uint8_t>(unit->productId),
            static_cast<std::uint8_t>(unit->productId >> 8),
            0x00,
            0x01};
        std::memcpy(out, descriptor, sizeof descriptor);
        returned = sizeof descriptor;
        return true;
    }
    case IOCTL_UNIT_GET_DEVICE_NUMBER:
        if (unit == nullptr || unit->deviceNumberFails) {
            return false;
        }
        std::memcpy(out, &unit->deviceNumber, sizeof(std::int32_t));
        returned = sizeof(std::int32_t);
        return true;
    case IOCTL_UNIT_SEND: {
        const auto* bytes = static_cast<const std::uint8_t*>(in);
        sent.emplace_back(bytes, bytes + inSize);
        return unit != nullptr && !sendFails;
    }
    case IOCTL_UNIT_RECEIVE: {
        if (unit == nullptr || receives.empty()) {
            return false;
        }
        FakeReceive reply = std::move(receives.front());
        receives.pop_front();
        if (!reply.ok) {
            return false;
        }
        returned = std::min(reply.bytes.size(), outSize);
        std::memcpy(out, reply.bytes.data(), returned);
        return true;
    }
    default:
        return false;
    }
}

void FakeDriverPort::CloseHandle(PortHandle handle) {
    calls.push_back("CloseHandle " + Hex(handle));
    Release(handle);
}

PortHandle FakeDriverPort::CreateStopEvent() {
    m_stopSignalled = false;
    return STOP_EVENT_HANDLE;
}

bool FakeDriverPort::SetEvent(PortHandle event) {
    if (event != STOP_EVENT_HANDLE) {
        return false;
    }
    m_stopSignalled = true;
    return true;
}

PortHandle FakeDriverPort::OpenNamedEvent(const std::string& name) {
    openedEventNames.push_back(name);
    return INVALID_PORT_HANDLE;
}

WaitOutcome FakeDriverPort::WaitForStopOrEvent(PortHandle stopEvent, PortHandle, int) {
    if (stopEvent == STOP_EVENT_HANDLE && m_stopSignalled) {
        m_stopSignalled = false;
        return WaitOutcome::Stop;
    }
    return WaitOutcome::TimedOut;
}

void FakeDriverPort::CloseEvent(PortHandle) {}
