#include "unit_driver_service.h"

#include "unit_interface_class.h"
#include "unit_relay.h"

#include <algorithm>
#include <chrono>
#include <filesystem>

namespace knot::sim {
using namespace knot::device;

namespace {

using Clock = std::chrono::steady_clock;

constexpr DWORD SERVICE_START_TIMEOUT_MS = 120000;
constexpr DWORD SERVICE_RETRY_MS = 100;
// How long a unit's interface may take to appear or go, and the service to stop.
constexpr DWORD PRESENCE_TIMEOUT_MS = 5000;
// Wine's private service control: enumerate the root devices of the service again, which adds
// the devices plugged since and removes the ones unplugged since.
constexpr DWORD REENUMERATE_ROOT_DEVICES = 128;

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The root device's instance id: "ROOT\VID_0ABC&PID_7832#00001\UNITN".
std::string InstanceId(const UnitConfig& config) {
    return "ROOT\\" + UnitDeviceId(config) + "\\UNIT" + std::to_string(config.number);
}

// The driver file's path in the system's driver folder, or "" when the folder is unknown.
std::string DriverFilePath() {
    char system[MAX_PATH];
    if (!GetSystemDirectoryA(system, MAX_PATH))
        return "";
    return std::string(system) + "\\drivers\\" + UNIT_RELAY_DRIVER_FILE;
}

// Removes every root device that the driver's service serves, as a server that died may have
// left them; true when there was one.
bool RemoveServiceDevices() {
    HDEVINFO set = SetupDiGetClassDevsA(nullptr, "ROOT", nullptr, DIGCF_ALLCLASSES);
    if (set == INVALID_HANDLE_VALUE)
        return false;
    bool found = false;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        char service[64] = {};
        if (SetupDiGetDeviceRegistryPropertyA(set, &device, SPDRP_SERVICE, nullptr,
                                              reinterpret_cast<BYTE*>(service), sizeof service - 1,
                                              nullptr) &&
            Lower(service) == UNIT_RELAY_SERVICE)
            found = SetupDiRemoveDevice(set, &device) || found;
    }
    SetupDiDestroyDeviceInfoList(set);
    return found;
}

// Stops the service and waits (a while) until it has stopped.
void StopService(SC_HANDLE service) {
    SERVICE_STATUS status{};
    ControlService(service, SERVICE_CONTROL_STOP, &status);
    const auto deadline = Clock::now() + std::chrono::milliseconds(PRESENCE_TIMEOUT_MS);
    while (QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_STOPPED &&
           Clock::now() < deadline)
        Sleep(10);
}

} // namespace

std::string Win32ErrorText(const std::string& what) {
    return what + " failed (error " + std::to_string(GetLastError()) + ")";
}

bool UnitDriverService::Install(std::string& error) {
    char self[MAX_PATH];
    m_file = DriverFilePath();
    if (!GetModuleFileNameA(nullptr, self, MAX_PATH) || m_file.empty()) {
        error = Win32ErrorText("finding the folders");
        m_file.clear();
        return false;
    }
    const std::filesystem::path source =
        std::filesystem::path(self).parent_path() / UNIT_RELAY_DRIVER_FILE;
    // A server that ended uncleanly leaves its devices, its service and its loaded driver.
    RemoveLeftovers();
    if (!CopyFileA(source.string().c_str(), m_file.c_str(), FALSE)) {
        error = Win32ErrorText("copying " + source.string());
        m_file.clear();
        return false;
    }
    m_manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!m_manager) {
        error = Win32ErrorText("opening the service manager");
        return false;
    }
    m_service =
        CreateServiceA(m_manager, UNIT_RELAY_SERVICE, UNIT_RELAY_SERVICE, SERVICE_ALL_ACCESS,
                       SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                       m_file.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
    if (!m_service) {
        error = Win32ErrorText("creating the service " UNIT_RELAY_SERVICE);
        return false;
    }
    // In a prefix whose system services are still starting, the service manager can be locked
    // or too busy to start the driver in time; it is asked again until the start deadline.
    const auto deadline = Clock::now() + std::chrono::milliseconds(SERVICE_START_TIMEOUT_MS);
    while (!StartServiceA(m_service, 0, nullptr)) {
        const DWORD failure = GetLastError();
        if (failure == ERROR_SERVICE_ALREADY_RUNNING)
            break;
        const bool busy =
            failure == ERROR_SERVICE_REQUEST_TIMEOUT || failure == ERROR_SERVICE_DATABASE_LOCKED;
        if (!busy || Clock::now() >= deadline) {
            SetLastError(failure);
            error = Win32ErrorText("starting the service " UNIT_RELAY_SERVICE);
            return false;
        }
        Sleep(SERVICE_RETRY_MS);
    }
    return true;
}

void UnitDriverService::Remove() {
    if (m_service) {
        StopService(m_service);
        DeleteService(m_service);
        CloseServiceHandle(m_service);
        m_service = nullptr;
    }
    if (m_manager) {
        CloseServiceHandle(m_manager);
        m_manager = nullptr;
    }
    if (!m_file.empty()) {
        DeleteFileA(m_file.c_str());
        m_file.clear();
    }
}

bool UnitDriverService::RemoveLeftovers() {
    bool found = RemoveServiceDevices();
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service =
        manager ? OpenServiceA(manager, UNIT_RELAY_SERVICE, SERVICE_ALL_ACCESS) : nullptr;
    if (service) {
        found = true;
        // The driver removes the devices, failing what their callers wait for, then unloads.
        SERVICE_STATUS status{};
        ControlService(service, REENUMERATE_ROOT_DEVICES, &status);
        StopService(service);
        DeleteService(service);
        CloseServiceHandle(service);
    }
    if (manager)
        CloseServiceHandle(manager);
    // The file stays in use until the driver has unloaded.
    const std::string file = DriverFilePath();
    const auto deadline = Clock::now() + std::chrono::milliseconds(PRESENCE_TIMEOUT_MS);
    while (!file.empty() && GetFileAttributesA(file.c_str()) != INVALID_FILE_ATTRIBUTES &&
           !DeleteFileA(file.c_str()) && Clock::now() < deadline)
        Sleep(10);
    return found;
}

HANDLE UnitDriverService::OpenRelayDevice(std::string& error) {
    // The relay device appears once the driver has started.
    HANDLE relay = INVALID_HANDLE_VALUE;
    const auto deadline = Clock::now() + std::chrono::milliseconds(PRESENCE_TIMEOUT_MS);
    do {
        relay = CreateFileA(UNIT_RELAY_USER_PATH, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                            OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    } while (relay == INVALID_HANDLE_VALUE && Clock::now() < deadline && (Sleep(10), true));
    if (relay == INVALID_HANDLE_VALUE)
        error = Win32ErrorText("opening the driver's relay device");
    return relay;
}

bool UnitDriverService::Reenumerate() {
    SERVICE_STATUS status{};
    return m_service && ControlService(m_service, REENUMERATE_ROOT_DEVICES, &status);
}

bool UnitDriverService::AddUnitDevice(const UnitConfig& config, std::string& error) {
    const std::string instanceId = InstanceId(config);
    // "N" or "N EVENT": the driver reads the number and the event's name from it.
    std::string name = std::to_string(config.number);
    if (config.hasEvent) {
        const std::string event = UnitEventName(config);
        name += " " + event.substr(event.find('\\') + 1);
    }
    HDEVINFO set = SetupDiCreateDeviceInfoList(nullptr, nullptr);
    if (set == INVALID_HANDLE_VALUE) {
        error = Win32ErrorText("SetupDiCreateDeviceInfoList");
        return false;
    }
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    const GUID noClass{};
    static const char HARDWARE_ID[] = "KNOTSIM\\UNIT\0";
    static const char SERVICE[] = UNIT_RELAY_SERVICE;
    const bool made =
        SetupDiCreateDeviceInfoA(set, instanceId.c_str(), &noClass, nullptr, nullptr, 0, &device) &&
        SetupDiSetDeviceRegistryPropertyA(set, &device, SPDRP_HARDWAREID,
                                          reinterpret_cast<const BYTE*>(HARDWARE_ID),
                                          sizeof HARDWARE_ID) &&
        SetupDiSetDeviceRegistryPropertyA(set, &device, SPDRP_FRIENDLYNAME,
                                          reinterpret_cast<const BYTE*>(name.c_str()),
                                          static_cast<DWORD>(name.size() + 1)) &&
        SetupDiSetDeviceRegistryPropertyA(set, &device, SPDRP_SERVICE,
                                          reinterpret_cast<const BYTE*>(SERVICE), sizeof SERVICE) &&
        (config.slot.empty() ||
         SetupDiSetDeviceRegistryPropertyA(set, &device, SPDRP_LOCATION_INFORMATION,
                                           reinterpret_cast<const BYTE*>(config.slot.c_str()),
                                           static_cast<DWORD>(config.slot.size() + 1))) &&
        SetupDiRegisterDeviceInfo(set, &device, 0, nullptr, nullptr, nullptr);
    if (!made)
        error = Win32ErrorText("creating the device " + instanceId);
    SetupDiDestroyDeviceInfoList(set);
    return made && Reenumerate();
}

bool UnitDriverService::RemoveUnitDevice(const UnitConfig& config) {
    HDEVINFO set = SetupDiCreateDeviceInfoList(nullptr, nullptr);
    if (set == INVALID_HANDLE_VALUE)
        return false;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    const bool removed =
        SetupDiOpenDeviceInfoA(set, InstanceId(config).c_str(), nullptr, 0, &device) &&
        SetupDiRemoveDevice(set, &device);
    SetupDiDestroyDeviceInfoList(set);
    return removed && Reenumerate();
}

bool UnitDriverService::WaitForUnitInterface(const UnitConfig& config, bool present) {
    // The interface path is the instance id with '#' for '\', in lower case.
    std::string key = Lower(InstanceId(config));
    std::replace(key.begin(), key.end(), '\\', '#');
    const auto deadline = Clock::now() + std::chrono::milliseconds(PRESENCE_TIMEOUT_MS);
    for (;;) {
        bool found = false;
        HDEVINFO set = SetupDiGetClassDevsA(&GUID_DEVINTERFACE_UNIT, nullptr, nullptr,
                                            DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
        if (set != INVALID_HANDLE_VALUE) {
            SP_DEVICE_INTERFACE_DATA data{};
            data.cbSize = sizeof data;
            for (DWORD i = 0; !found && SetupDiEnumDeviceInterfaces(
                                            set, nullptr, &GUID_DEVINTERFACE_UNIT, i, &data);
                 ++i) {
                char storage[512] = {};
                auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(storage);
                detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
                if (SetupDiGetDeviceInterfaceDetailA(set, &data, detail, sizeof storage, nullptr,
                                                     nullptr))
                    found = Lower(detail->DevicePath).find(key + "#") != std::string::npos;
            }
            SetupDiDestroyDeviceInfoList(set);
        }
        if (found == present)
            return true;
        if (Clock::now() >= deadline)
            return false;
        Sleep(5);
    }
}

} // namespace knot::sim
