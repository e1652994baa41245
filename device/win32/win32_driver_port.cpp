#include "win32_driver_port.h"

#include "unit_interface_class.h"
#include "unit_lock.h"
#include "win32_api.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <vector>

namespace knot::device {
namespace {

// Present devices only, and device interfaces rather than device classes.
constexpr DWORD UNIT_SET_FLAGS = DIGCF_PRESENT | DIGCF_DEVICEINTERFACE;
static_assert(UNIT_SET_FLAGS == 0x12);

// How the unit's interface is opened: read and write, shared for both, an existing file, normal
// attributes. Overlapped, so that a send or receive the driver never completes can be cancelled
// by the thread that issued it (a synchronous handle could only be freed from another thread).
constexpr DWORD UNIT_ACCESS = GENERIC_READ | GENERIC_WRITE;
constexpr DWORD UNIT_SHARE = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr DWORD UNIT_OPEN_FLAGS = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED;
static_assert(UNIT_ACCESS == 0xC0000000 && UNIT_SHARE == 3 && OPEN_EXISTING == 3 &&
              UNIT_OPEN_FLAGS == 0x40000080);

static_assert(sizeof(PortHandle) == sizeof(HANDLE));

// The size fields of the setup service's records: this build's layouts, which the service checks.
constexpr DWORD INTERFACE_DATA_SIZE = sizeof(SP_DEVICE_INTERFACE_DATA);
constexpr DWORD DETAIL_DATA_SIZE = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);

HANDLE ToHandle(PortHandle handle) {
    return reinterpret_cast<HANDLE>(handle);
}
PortHandle ToPort(HANDLE handle) {
    return reinterpret_cast<PortHandle>(handle);
}

// Events fail with null; the rest of the system knows only the all-bits-set marker.
PortHandle EventOrInvalid(HANDLE event) {
    return event ? ToPort(event) : INVALID_PORT_HANDLE;
}

bool IsOpen(PortHandle handle) {
    return handle != INVALID_PORT_HANDLE && handle != 0;
}

// Interface `index` of the set, or false when the set has no such interface.
bool EnumInterface(PortHandle set, std::uint32_t index, SP_DEVICE_INTERFACE_DATA& data) {
    data = {};
    data.cbSize = INTERFACE_DATA_SIZE;
    return SetupDiEnumDeviceInterfaces(ToHandle(set), nullptr, &GUID_DEVINTERFACE_UNIT, index,
                                       &data) != FALSE;
}

// The first half of the detail query: the whole record's size, or 0.
DWORD DetailRecordSize(PortHandle set, SP_DEVICE_INTERFACE_DATA& data) {
    DWORD required = 0;
    // Without a buffer the query fails by design and only reports the size it needs.
    SetupDiGetDeviceInterfaceDetailA(ToHandle(set), &data, nullptr, 0, &required, nullptr);
    return required;
}

constexpr std::size_t PATH_OFFSET = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);

// The whole detail record of interface `data`, `required` bytes long, and the device instance the
// interface belongs to into `device` when one is asked for; null when the service gives none.
std::unique_ptr<unsigned char[]> ReadDetailRecord(PortHandle set, SP_DEVICE_INTERFACE_DATA& data,
                                                  DWORD& required, SP_DEVINFO_DATA* device) {
    required = DetailRecordSize(set, data);
    if (required <= PATH_OFFSET) {
        return nullptr;
    }
    // operator new gives the alignment the record's DWORD size field needs.
    std::size_t allocated = std::max<std::size_t>(required, DETAIL_DATA_SIZE);
    std::unique_ptr<unsigned char[]> storage(new (std::nothrow) unsigned char[allocated]);
    if (!storage) {
        return nullptr;
    }
    std::memset(storage.get(), 0, allocated);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(storage.get());
    detail->cbSize = DETAIL_DATA_SIZE;
    if (!SetupDiGetDeviceInterfaceDetailA(ToHandle(set), &data, detail, required, nullptr,
                                          device)) {
        return nullptr;
    }
    return storage;
}

// Room for a location at the first try, and the most a device may claim to need for one.
constexpr DWORD LOCATION_FIRST_SIZE = 256;
constexpr DWORD LOCATION_MOST_SIZE = 4096;

// A text property of `device`: the string, or the first string of a multi-string; "" when the
// device has none, or one of another type.
std::string DeviceText(PortHandle set, SP_DEVINFO_DATA& device, DWORD property) {
    std::vector<char> buffer(LOCATION_FIRST_SIZE);
    for (int attempt = 0; attempt < 2; ++attempt) {
        DWORD type = 0;
        // Left as it is by a service that does not know the property (Wine's, for the paths).
        DWORD required = 0;
        if (SetupDiGetDeviceRegistryPropertyA(ToHandle(set), &device, property, &type,
                                              reinterpret_cast<BYTE*>(buffer.data()),
                                              static_cast<DWORD>(buffer.size()), &required)) {
            if (type != REG_SZ && type != REG_MULTI_SZ) {
                return "";
            }
            // Bounded by the buffer in case the service left the text without its zero.
            std::size_t size = std::min<std::size_t>(required, buffer.size());
            return std::string(buffer.data(), strnlen(buffer.data(), size));
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || required <= buffer.size() ||
            required > LOCATION_MOST_SIZE) {
            return "";
        }
        buffer.assign(required, '\0');
    }
    return "";
}

} // namespace

std::uint32_t Win32DriverPort::InterfaceDataRecordSize() {
    return INTERFACE_DATA_SIZE;
}

std::uint32_t Win32DriverPort::DetailDataRecordSize() {
    return DETAIL_DATA_SIZE;
}

PortHandle Win32DriverPort::GetClassDevices() {
    HDEVINFO set = SetupDiGetClassDevsA(&GUID_DEVINTERFACE_UNIT, nullptr, nullptr, UNIT_SET_FLAGS);
    return set ? ToPort(set) : INVALID_PORT_HANDLE;
}

bool Win32DriverPort::EnumDeviceInterface(PortHandle set, std::uint32_t index) {
    SP_DEVICE_INTERFACE_DATA data;
    return EnumInterface(set, index, data);
}

std::size_t Win32DriverPort::GetInterfaceDetailSize(PortHandle set, std::uint32_t index) {
    SP_DEVICE_INTERFACE_DATA data;
    if (!EnumInterface(set, index, data)) {
        return 0;
    }
    DWORD required = DetailRecordSize(set, data);
    // The record is the size field followed by the path and its zero; report the path part.
    return required > PATH_OFFSET ? required - PATH_OFFSET : 0;
}

bool Win32DriverPort::GetInterfaceDetail(PortHandle set, std::uint32_t index, std::string& path) {
    SP_DEVICE_INTERFACE_DATA data;
    if (!EnumInterface(set, index, data)) {
        return false;
    }
    DWORD required = 0;
    std::unique_ptr<unsigned char[]> storage = ReadDetailRecord(set, data, required, nullptr);
    if (!storage) {
        return false;
    }
    // Bounded by the buffer in case the service left the path without its zero.
    const auto* detail = reinterpret_cast<const SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(storage.get());
    const char* begin = detail->DevicePath;
    std::size_t capacity = required - PATH_OFFSET;
    path.assign(begin, strnlen(begin, capacity));
    return true;
}

std::string Win32DriverPort::GetInterfaceLocation(PortHandle set, std::uint32_t index) {
    SP_DEVICE_INTERFACE_DATA data;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    DWORD required = 0;
    if (!EnumInterface(set, index, data) || !ReadDetailRecord(set, data, required, &device)) {
        return "";
    }
    std::string location = DeviceText(set, device, SPDRP_LOCATION_INFORMATION);
    return location.empty() ? DeviceText(set, device, SPDRP_LOCATION_PATHS) : location;
}

void Win32DriverPort::DestroyDeviceInfoList(PortHandle set) {
    if (IsOpen(set)) {
        SetupDiDestroyDeviceInfoList(ToHandle(set));
    }
}

PortHandle Win32DriverPort::CreateFile(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), UNIT_ACCESS, UNIT_SHARE, nullptr, OPEN_EXISTING,
                              UNIT_OPEN_FLAGS, nullptr);
    return file == INVALID_HANDLE_VALUE ? INVALID_PORT_HANDLE : ToPort(file);
}

bool Win32DriverPort::DeviceIoControl(PortHandle handle, std::uint32_t code, const void* in,
                                      std::size_t inSize, void* out, std::size_t outSize,
                                      std::size_t& returned) {
    returned = 0;
    constexpr std::size_t maxSize = std::numeric_limits<DWORD>::max();
    if (!IsOpen(handle) || inSize > maxSize || outSize > maxSize) {
        return false;
    }
    // A manual-reset event of this call's own: the handle may have other calls' events signalled.
    OVERLAPPED overlapped{};
    overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!overlapped.hEvent) {
        return false;
    }
    HANDLE file = ToHandle(handle);
    DWORD got = 0;
    // The input buffer is only read; the API's parameter is merely not declared const.
    BOOL ok = ::DeviceIoControl(file, code, const_cast<void*>(in), static_cast<DWORD>(inSize), out,
                                static_cast<DWORD>(outSize), &got, &overlapped);
    if (!ok && GetLastError() == ERROR_IO_PENDING) {
        if (WaitForSingleObject(overlapped.hEvent, IO_BOUND_MS) != WAIT_OBJECT_0) {
            // Cancel only this request, then wait for the driver to complete it, cancelled or
            // not: until then it may still write into `out` and `overlapped`, which die on return.
            CancelIoEx(file, &overlapped);
            GetOverlappedResult(file, &overlapped, &got, TRUE);
            got = 0;
            ok = FALSE;
        } else {
            ok = GetOverlappedResult(file, &overlapped, &got, FALSE);
        }
    }
    ::CloseHandle(overlapped.hEvent);
    returned = got;
    return ok != FALSE;
}

void Win32DriverPort::CloseHandle(PortHandle handle) {
    if (IsOpen(handle)) {
        ::CloseHandle(ToHandle(handle));
    }
}

PortHandle Win32DriverPort::CreateStopEvent() {
    // Auto-reset, not signalled, unnamed.
    return EventOrInvalid(CreateEventA(nullptr, FALSE, FALSE, nullptr));
}

bool Win32DriverPort::SetEvent(PortHandle event) {
    return IsOpen(event) && ::SetEvent(ToHandle(event)) != FALSE;
}

PortHandle Win32DriverPort::OpenNamedEvent(const std::string& name) {
    return EventOrInvalid(OpenEventA(SYNCHRONIZE, FALSE, name.c_str()));
}

WaitOutcome Win32DriverPort::WaitForStopOrEvent(PortHandle stopEvent, PortHandle namedEvent,
                                                int timeoutMs) {
    if (!IsOpen(stopEvent) || !IsOpen(namedEvent)) {
        return WaitOutcome::Failed;
    }
    // With both signalled the wait reports the lower index, so the stop event comes first.
    const HANDLE events[2] = {ToHandle(stopEvent), ToHandle(namedEvent)};
    DWORD timeout = timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
    switch (WaitForMultipleObjects(2, events, FALSE, timeout)) {
    case WAIT_OBJECT_0:
        return WaitOutcome::Stop;
    case WAIT_OBJECT_0 + 1:
        return WaitOutcome::Disconnected;
    case WAIT_TIMEOUT:
        return WaitOutcome::TimedOut;
    default:
        return WaitOutcome::Failed;
    }
}

void Win32DriverPort::CloseEvent(PortHandle event) {
    if (IsOpen(event)) {
        ::CloseHandle(ToHandle(event));
    }
}

UnitLockResult Win32DriverPort::LockUnit(const std::string& devicePath) {
    return LockByNamedMutex(UnitLockName(devicePath));
}

void Win32DriverPort::UnlockUnit(PortHandle lock) {
    UnlockNamedMutex(lock);
}

} // namespace knot::device
