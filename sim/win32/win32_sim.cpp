// knot-unit-sim.exe: the simulator on Windows. "serve" installs the test driver (knot_unit.sys,
// found beside this program) as a kernel-driver service, answers every request of every plugged
// unit's device from its VirtualUnit through the driver's relay device, and removes what it
// installed when it ends. "plug", "unplug", "list" and "stop" talk to it over a named pipe.
#include "serve_options.h"
#include "sim_command_line.h"
#include "unit_relay.h"
#include "virtual_unit.h"

#include "unit_interface_class.h"
#include "win32_api.h"

#include <winioctl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr const char* PIPE_NAME = "\\\\.\\pipe\\knot-unit-sim";
constexpr DWORD CONTROL_TIMEOUT_MS = 5000;
constexpr DWORD PRESENCE_TIMEOUT_MS = 5000;
constexpr DWORD PIPE_BUFFER = 4096;
constexpr DWORD SERVICE_START_TIMEOUT_MS = 120000;
constexpr DWORD SERVICE_RETRY_MS = 100;
// Wine's private service control: enumerate the root devices of the service again, which adds
// the devices plugged since and removes the ones unplugged since.
constexpr DWORD REENUMERATE_ROOT_DEVICES = 128;
// Requests of our own kept pending on the relay device, so that several units' requests (or a
// receive held for a silent unit beside another unit's request) can be passed on at once.
constexpr int ASKERS = 4;
// Answers that nobody receives pile up no further than this; the oldest are dropped.
constexpr std::size_t MAX_QUEUED_ANSWERS = 4096;
// The unit driver's control codes (device type 0x22, buffered, any access) and the sizes it takes,
// as the driver defines them: written out here, not taken from the port, so that a port sending
// another code or size fails against this driver as it would against the real one.
constexpr std::uint32_t DRIVER_RECEIVE = CTL_CODE(0x22, 0x800, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr std::uint32_t DRIVER_GET_DESCRIPTOR =
    CTL_CODE(0x22, 0x802, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr std::uint32_t DRIVER_GET_NUMBER = CTL_CODE(0x22, 0x803, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr std::uint32_t DRIVER_SEND = CTL_CODE(0x22, 0x900, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr std::uint32_t RECEIVE_CAPACITY = 256;
constexpr std::uint32_t DESCRIPTOR_SIZE = 8;
constexpr std::uint32_t NUMBER_SIZE = 4;
constexpr char REPLY_OK = '+';
constexpr char REPLY_ERROR = '-';

constexpr const char* USAGE =
    "usage: knot-unit-sim serve [--capture FILE] [--save-memory DIR] [--latency-us N]\n"
    "       knot-unit-sim plug [--vendor 0xVVVV] [--product 0xPPPP] [--number N]\n"
    "                          [--packet-size 62|64] [--program-name TEXT] [--version TEXT]\n"
    "                          [--checksum HHHH] [--no-descriptor] [--no-number] [--no-event]\n"
    "                          [--fault SPEC]...\n"
    "       knot-unit-sim unplug N\n"
    "       knot-unit-sim list\n"
    "       knot-unit-sim stop\n"
    "serve installs the test driver " UNIT_RELAY_DRIVER_FILE " found beside this program.\n";

using Clock = std::chrono::steady_clock;

std::string ErrorText(const std::string& what) {
    return what + " failed (error " + std::to_string(GetLastError()) + ")";
}

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The kernel-driver service and its file, installed for as long as the server runs.
class DriverService {
  public:
    ~DriverService() { Remove(); }

    bool Install(std::string& error) {
        char self[MAX_PATH];
        char system[MAX_PATH];
        if (!GetModuleFileNameA(nullptr, self, MAX_PATH) ||
            !GetSystemDirectoryA(system, MAX_PATH)) {
            error = ErrorText("finding the folders");
            return false;
        }
        const std::filesystem::path source =
            std::filesystem::path(self).parent_path() / UNIT_RELAY_DRIVER_FILE;
        m_file = std::string(system) + "\\drivers\\" + UNIT_RELAY_DRIVER_FILE;
        if (!CopyFileA(source.string().c_str(), m_file.c_str(), FALSE)) {
            error = ErrorText("copying " + source.string());
            m_file.clear();
            return false;
        }
        m_manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        if (!m_manager) {
            error = ErrorText("opening the service manager");
            return false;
        }
        m_service =
            CreateServiceA(m_manager, UNIT_RELAY_SERVICE, UNIT_RELAY_SERVICE, SERVICE_ALL_ACCESS,
                           SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                           m_file.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
        if (!m_service && GetLastError() == ERROR_SERVICE_EXISTS) // left by a server that died
            m_service = OpenServiceA(m_manager, UNIT_RELAY_SERVICE, SERVICE_ALL_ACCESS);
        if (!m_service) {
            error = ErrorText("creating the service " UNIT_RELAY_SERVICE);
            return false;
        }
        // In a prefix whose system services are still starting, the service manager can be locked
        // or too busy to start the driver in time; it is asked again until the start deadline.
        const auto deadline = Clock::now() + std::chrono::milliseconds(SERVICE_START_TIMEOUT_MS);
        while (!StartServiceA(m_service, 0, nullptr)) {
            const DWORD failure = GetLastError();
            if (failure == ERROR_SERVICE_ALREADY_RUNNING)
                break;
            const bool busy = failure == ERROR_SERVICE_REQUEST_TIMEOUT ||
                              failure == ERROR_SERVICE_DATABASE_LOCKED;
            if (!busy || Clock::now() >= deadline) {
                SetLastError(failure);
                error = ErrorText("starting the service " UNIT_RELAY_SERVICE);
                return false;
            }
            Sleep(SERVICE_RETRY_MS);
        }
        return true;
    }

    bool Reenumerate() {
        SERVICE_STATUS status{};
        return m_service && ControlService(m_service, REENUMERATE_ROOT_DEVICES, &status);
    }

    void Remove() {
        if (m_service) {
            SERVICE_STATUS status{};
            ControlService(m_service, SERVICE_CONTROL_STOP, &status);
            const auto deadline = Clock::now() + std::chrono::milliseconds(PRESENCE_TIMEOUT_MS);
            while (QueryServiceStatus(m_service, &status) &&
                   status.dwCurrentState != SERVICE_STOPPED && Clock::now() < deadline)
                Sleep(10);
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

  private:
    SC_HANDLE m_manager = nullptr;
    SC_HANDLE m_service = nullptr;
    std::string m_file;
};

// One pending request of ours on the relay device.
struct Asker {
    OVERLAPPED overlapped{};
    UnitRelayRequest request{};
};

class Win32SimServer {
  public:
    explicit Win32SimServer(ServeOptions options) : m_options(std::move(options)) {}
    ~Win32SimServer() {
        while (!m_units.empty())
            Unplug(m_units.front()->unit.Config().number);
        if (m_relay != INVALID_HANDLE_VALUE) {
            CancelIoEx(m_relay, nullptr);
            for (Asker& asker : m_askers) {
                DWORD got = 0;
                if (asker.overlapped.hEvent)
                    GetOverlappedResult(m_relay, &asker.overlapped, &got, TRUE);
            }
            CloseHandle(m_relay);
        }
        for (Asker& asker : m_askers) {
            if (asker.overlapped.hEvent)
                CloseHandle(asker.overlapped.hEvent);
        }
        if (m_pipe != INVALID_HANDLE_VALUE)
            CloseHandle(m_pipe);
        if (m_connect.hEvent)
            CloseHandle(m_connect.hEvent);
        if (m_capture)
            std::fclose(m_capture);
    }

    bool Start(std::string& error) {
        if (!m_options.saveMemoryDir.empty() &&
            !std::filesystem::is_directory(m_options.saveMemoryDir)) {
            error = "--save-memory: " + m_options.saveMemoryDir + " is not a folder";
            return false;
        }
        if (!m_options.captureFile.empty()) {
            // Binary: the lines end in a line feed alone, as on Linux.
            m_capture = std::fopen(m_options.captureFile.c_str(), "ab");
            if (!m_capture) {
                error = "cannot open the capture file " + m_options.captureFile;
                return false;
            }
        }
        m_pipe = CreateNamedPipeA(
            PIPE_NAME, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
            PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, PIPE_BUFFER, PIPE_BUFFER, 0,
            nullptr);
        if (m_pipe == INVALID_HANDLE_VALUE) {
            error = GetLastError() == ERROR_ACCESS_DENIED ? "a simulator already serves"
                                                          : ErrorText("creating the pipe");
            return false;
        }
        if (!m_service.Install(error))
            return false;
        // The relay device appears once the driver has started.
        const auto deadline = Clock::now() + std::chrono::milliseconds(PRESENCE_TIMEOUT_MS);
        do {
            m_relay = CreateFileA(UNIT_RELAY_USER_PATH, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        } while (m_relay == INVALID_HANDLE_VALUE && Clock::now() < deadline && (Sleep(10), true));
        if (m_relay == INVALID_HANDLE_VALUE) {
            error = ErrorText("opening the driver's relay device");
            return false;
        }
        for (Asker& asker : m_askers) {
            asker.overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
            if (!asker.overlapped.hEvent || !Ask(asker)) {
                error = ErrorText("asking the driver for requests");
                return false;
            }
        }
        m_connect.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        return m_connect.hEvent && Listen();
    }

    void Run() {
        while (!m_stop) {
            std::vector<HANDLE> events;
            for (Asker& asker : m_askers)
                events.push_back(asker.overlapped.hEvent);
            events.push_back(m_connect.hEvent);
            const DWORD woke = WaitForMultipleObjects(static_cast<DWORD>(events.size()),
                                                      events.data(), FALSE, NextTimeoutMs());
            if (woke == WAIT_FAILED)
                return;
            for (Asker& asker : m_askers) {
                DWORD got = 0;
                if (WaitForSingleObject(asker.overlapped.hEvent, 0) != WAIT_OBJECT_0)
                    continue;
                const bool ok = GetOverlappedResult(m_relay, &asker.overlapped, &got, FALSE);
                if (ok && got == sizeof asker.request)
                    HandleUnitRequest(asker.request);
                if (!Ask(asker))
                    return; // the driver went
            }
            if (WaitForSingleObject(m_connect.hEvent, 0) == WAIT_OBJECT_0) {
                ServeControlClient();
                if (!Listen())
                    return;
            }
            RunTimers();
            DeliverAnswers();
        }
    }

  private:
    struct PendingAnswer {
        UnitPacket packet;
        Clock::time_point readyAt;
    };
    struct Unit {
        explicit Unit(UnitConfig config) : unit(std::move(config)) {}
        VirtualUnit unit;
        std::string instanceId;
        std::deque<PendingAnswer> answers;
        std::optional<Clock::time_point> unplugAt;
    };
    struct WaitingReceive {
        std::uint64_t id;
        std::int32_t unit;
    };

    bool Ask(Asker& asker) {
        ResetEvent(asker.overlapped.hEvent);
        DWORD got = 0;
        if (DeviceIoControl(m_relay, IOCTL_RELAY_NEXT, nullptr, 0, &asker.request,
                            sizeof asker.request, &got, &asker.overlapped))
            return true; // done at once; its event is signalled
        return GetLastError() == ERROR_IO_PENDING;
    }

    // Completes unit request `id`; false when its caller no longer waits for it.
    bool Answer(std::uint64_t id, bool ok, const std::uint8_t* bytes, std::size_t size) {
        UnitRelayAnswer answer{};
        answer.id = id;
        answer.ok = ok ? 1 : 0;
        answer.size = static_cast<std::uint32_t>(std::min<std::size_t>(size, UNIT_RELAY_MAX_DATA));
        if (bytes && answer.size)
            std::copy_n(bytes, answer.size, answer.output);
        OVERLAPPED overlapped{};
        overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        DWORD got = 0;
        BOOL done = DeviceIoControl(m_relay, IOCTL_RELAY_ANSWER, &answer, sizeof answer, nullptr, 0,
                                    &got, &overlapped);
        if (!done && GetLastError() == ERROR_IO_PENDING)
            done = GetOverlappedResult(m_relay, &overlapped, &got, TRUE);
        CloseHandle(overlapped.hEvent);
        return done != FALSE;
    }

    Unit* FindUnit(std::int32_t number) {
        for (const auto& unit : m_units) {
            if (unit->unit.Config().number == number)
                return unit.get();
        }
        return nullptr;
    }

    void HandleUnitRequest(const UnitRelayRequest& request) {
        Unit* unit = FindUnit(request.unit);
        if (!unit) {
            Answer(request.id, false, nullptr, 0);
            return;
        }
        const UnitConfig& config = unit->unit.Config();
        const std::int32_t number = config.number;
        // The unit's callers give exactly these sizes; a driver with fixed-size records refuses
        // any other, and so does this one, so that a caller's wrong size shows.
        if (request.code == DRIVER_SEND && request.inSize == config.packetSize) {
            const UnitPacket input(request.input, request.input + request.inSize);
            Capture(number, 'R', input);
            UnitReaction reaction = unit->unit.Receive(input);
            const auto readyAt = Clock::now() + std::chrono::microseconds(m_options.latencyUs);
            for (UnitPacket& answer : reaction.answers) {
                Capture(number, 'S', answer);
                unit->answers.push_back({std::move(answer), readyAt});
                if (unit->answers.size() > MAX_QUEUED_ANSWERS)
                    unit->answers.pop_front();
            }
            if (reaction.committed && !m_options.saveMemoryDir.empty())
                unit->unit.SaveMemory(m_options.saveMemoryDir);
            if (reaction.unplugAfterMs >= 0)
                unit->unplugAt = Clock::now() + std::chrono::milliseconds(reaction.unplugAfterMs);
            Answer(request.id, true, nullptr, 0); // the driver took the packet
            if (reaction.unplugNow)
                Unplug(number);
        } else if (request.code == DRIVER_RECEIVE && request.inSize == 0 &&
                   request.outSize == RECEIVE_CAPACITY) {
            // Held until the unit has an answer ready; a silent unit keeps it for good.
            m_receives.push_back({request.id, number});
            DeliverAnswers();
        } else if (request.code == DRIVER_GET_DESCRIPTOR && config.hasDescriptor &&
                   request.outSize == DESCRIPTOR_SIZE) {
            const auto descriptor = UnitDescriptor(config);
            Answer(request.id, true, descriptor.data(), descriptor.size());
        } else if (request.code == DRIVER_GET_NUMBER && config.hasNumber &&
                   request.outSize == NUMBER_SIZE) {
            std::uint8_t bytes[NUMBER_SIZE];
            const auto value = static_cast<std::uint32_t>(number);
            for (std::uint32_t i = 0; i < NUMBER_SIZE; ++i)
                bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
            Answer(request.id, true, bytes, sizeof bytes);
        } else {
            Answer(request.id, false, nullptr, 0);
        }
    }

    void DeliverAnswers() {
        const auto now = Clock::now();
        for (auto it = m_receives.begin(); it != m_receives.end();) {
            Unit* unit = FindUnit(it->unit);
            if (!unit) {
                Answer(it->id, false, nullptr, 0);
                it = m_receives.erase(it);
            } else if (!unit->answers.empty() && unit->answers.front().readyAt <= now) {
                const UnitPacket& packet = unit->answers.front().packet;
                // A receive its caller gave up on takes nothing; the answer waits for the next.
                if (Answer(it->id, true, packet.data(), packet.size()))
                    unit->answers.pop_front();
                it = m_receives.erase(it);
            } else {
                ++it;
            }
        }
    }

    void RunTimers() {
        const auto now = Clock::now();
        std::vector<std::int32_t> due;
        for (const auto& unit : m_units) {
            if (unit->unplugAt && *unit->unplugAt <= now)
                due.push_back(unit->unit.Config().number);
        }
        for (std::int32_t number : due)
            Unplug(number);
    }

    DWORD NextTimeoutMs() const {
        auto next = Clock::time_point::max();
        for (const auto& unit : m_units) {
            if (unit->unplugAt)
                next = std::min(next, *unit->unplugAt);
            const bool waited = std::any_of(m_receives.begin(), m_receives.end(), [&](auto& r) {
                return r.unit == unit->unit.Config().number;
            });
            if (waited && !unit->answers.empty())
                next = std::min(next, unit->answers.front().readyAt);
        }
        if (next == Clock::time_point::max())
            return INFINITE;
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(next - Clock::now()).count();
        return static_cast<DWORD>(std::clamp<long long>(wait, 0, 60000));
    }

    bool Listen() {
        ResetEvent(m_connect.hEvent);
        if (ConnectNamedPipe(m_pipe, &m_connect))
            return true;
        const DWORD error = GetLastError();
        if (error == ERROR_PIPE_CONNECTED) {
            SetEvent(m_connect.hEvent);
            return true;
        }
        return error == ERROR_IO_PENDING;
    }

    void ServeControlClient() {
        char buffer[PIPE_BUFFER];
        DWORD got = 0;
        OVERLAPPED overlapped{};
        overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        BOOL read = ReadFile(m_pipe, buffer, sizeof buffer, &got, &overlapped);
        if (!read && GetLastError() == ERROR_IO_PENDING) {
            if (WaitForSingleObject(overlapped.hEvent, CONTROL_TIMEOUT_MS) != WAIT_OBJECT_0)
                CancelIoEx(m_pipe, &overlapped);
            read = GetOverlappedResult(m_pipe, &overlapped, &got, TRUE);
        }
        if (read) {
            std::vector<std::string> words(1);
            for (DWORD i = 0; i < got; ++i) {
                if (buffer[i] == 0)
                    words.emplace_back();
                else
                    words.back() += buffer[i];
            }
            bool ok = false;
            std::string reply(1, REPLY_ERROR);
            reply += HandleControl(words, ok);
            reply.front() = ok ? REPLY_OK : REPLY_ERROR;
            reply.resize(std::min<std::size_t>(reply.size(), PIPE_BUFFER));
            ResetEvent(overlapped.hEvent);
            DWORD written = 0;
            if (!WriteFile(m_pipe, reply.data(), static_cast<DWORD>(reply.size()), &written,
                           &overlapped) &&
                GetLastError() == ERROR_IO_PENDING)
                GetOverlappedResult(m_pipe, &overlapped, &written, TRUE);
            FlushFileBuffers(m_pipe);
        }
        CloseHandle(overlapped.hEvent);
        DisconnectNamedPipe(m_pipe);
    }

    std::string HandleControl(const std::vector<std::string>& words, bool& ok) {
        ok = false;
        const std::string& command = words.front();
        if (command == "plug")
            return Plug({words.begin() + 1, words.end()}, ok);
        if (command == "unplug") {
            std::uint64_t number = 0;
            if (words.size() != 2 || !ParseNumber(words[1], INT32_MAX, number))
                return "unplug takes one device number";
            if (!Unplug(static_cast<std::int32_t>(number)))
                return "no unit " + words[1] + " is plugged";
            ok = true;
            return "";
        }
        if (command == "list" || command == "stop") {
            if (words.size() != 1)
                return command + " takes no options";
            std::string text;
            for (const auto& unit : m_units)
                text += DescribeUnit(unit->unit.Config()) + "\n";
            m_stop = command == "stop";
            ok = true;
            return m_stop ? "" : text;
        }
        return "unknown request \"" + command + "\"";
    }

    // Creates the unit's root device, names it for the driver, and waits for its interface.
    std::string Plug(const std::vector<std::string>& options, bool& ok) {
        UnitConfig config;
        std::string error;
        if (!ParsePlugOptions(options, config, error))
            return error;
        if (config.number == NEXT_FREE_NUMBER) {
            config.number = 0;
            while (FindUnit(config.number) != nullptr)
                ++config.number;
        } else if (FindUnit(config.number) != nullptr) {
            return "unit " + std::to_string(config.number) + " is already plugged";
        }
        auto unit = std::make_unique<Unit>(config);
        unit->instanceId =
            "ROOT\\" + UnitDeviceId(config) + "\\UNIT" + std::to_string(config.number);
        // "N" or "N EVENT": the driver reads the number and the event's name from it.
        std::string name = std::to_string(config.number);
        if (config.hasEvent) {
            const std::string event = UnitEventName(config);
            name += " " + event.substr(event.find('\\') + 1);
        }
        if (!CreateDevice(unit->instanceId, name, error))
            return error;
        m_units.push_back(std::move(unit));
        if (!WaitForInterface(m_units.back()->instanceId, true)) {
            Unplug(config.number);
            return "the driver did not add unit " + std::to_string(config.number);
        }
        ok = true;
        return std::to_string(config.number) + "\n";
    }

    bool CreateDevice(const std::string& instanceId, const std::string& name, std::string& error) {
        HDEVINFO set = SetupDiCreateDeviceInfoList(nullptr, nullptr);
        if (set == INVALID_HANDLE_VALUE) {
            error = ErrorText("SetupDiCreateDeviceInfoList");
            return false;
        }
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof device;
        const GUID noClass{};
        static const char HARDWARE_ID[] = "KNOTSIM\\UNIT\0";
        static const char SERVICE[] = UNIT_RELAY_SERVICE;
        const bool made =
            SetupDiCreateDeviceInfoA(set, instanceId.c_str(), &noClass, nullptr, nullptr, 0,
                                     &device) &&
            SetupDiSetDeviceRegistryPropertyA(set, &device, SPDRP_HARDWAREID,
                                              reinterpret_cast<const BYTE*>(HARDWARE_ID),
                                              sizeof HARDWARE_ID) &&
            SetupDiSetDeviceRegistryPropertyA(set, &device, SPDRP_FRIENDLYNAME,
                                              reinterpret_cast<const BYTE*>(name.c_str()),
                                              static_cast<DWORD>(name.size() + 1)) &&
            SetupDiSetDeviceRegistryPropertyA(set, &device, SPDRP_SERVICE,
                                              reinterpret_cast<const BYTE*>(SERVICE),
                                              sizeof SERVICE) &&
            SetupDiRegisterDeviceInfo(set, &device, 0, nullptr, nullptr, nullptr);
        if (!made)
            error = ErrorText("creating the device " + instanceId);
        SetupDiDestroyDeviceInfoList(set);
        return made && m_service.Reenumerate();
    }

    bool RemoveDevice(const std::string& instanceId) {
        HDEVINFO set = SetupDiCreateDeviceInfoList(nullptr, nullptr);
        if (set == INVALID_HANDLE_VALUE)
            return false;
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof device;
        const bool removed = SetupDiOpenDeviceInfoA(set, instanceId.c_str(), nullptr, 0, &device) &&
                             SetupDiRemoveDevice(set, &device);
        SetupDiDestroyDeviceInfoList(set);
        return removed && m_service.Reenumerate();
    }

    // Waits until the unit's interface is present (or gone).
    static bool WaitForInterface(const std::string& instanceId, bool present) {
        // The interface path is the instance id with '#' for '\', in lower case.
        std::string key = Lower(instanceId);
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
                    if (SetupDiGetDeviceInterfaceDetailA(set, &data, detail, sizeof storage,
                                                         nullptr, nullptr))
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

    bool Unplug(std::int32_t number) {
        const auto it = std::find_if(m_units.begin(), m_units.end(), [&](const auto& unit) {
            return unit->unit.Config().number == number;
        });
        if (it == m_units.end())
            return false;
        const std::unique_ptr<Unit> unit = std::move(*it);
        m_units.erase(it);
        // The driver fails the unit's pending requests and signals its event.
        if (RemoveDevice(unit->instanceId))
            WaitForInterface(unit->instanceId, false);
        DeliverAnswers(); // receives held for the unit fail
        return true;
    }

    void Capture(std::int32_t number, char direction, const UnitPacket& packet) {
        if (!m_capture)
            return;
        std::fprintf(m_capture, "%s\n", FormatCaptureLine(number, direction, packet).c_str());
        std::fflush(m_capture);
    }

    ServeOptions m_options;
    DriverService m_service;
    HANDLE m_relay = INVALID_HANDLE_VALUE;
    HANDLE m_pipe = INVALID_HANDLE_VALUE;
    OVERLAPPED m_connect{};
    Asker m_askers[ASKERS];
    std::FILE* m_capture = nullptr;
    std::vector<std::unique_ptr<Unit>> m_units; // in plug order
    std::deque<WaitingReceive> m_receives;      // in the order they came
    bool m_stop = false;
};

int Serve(const std::vector<std::string>& args) {
    ServeOptions options;
    std::string error;
    if (!ParseServeOptions(args, options, error)) {
        std::fprintf(stderr, "knot-unit-sim: %s\n%s", error.c_str(), USAGE);
        return 2;
    }
    Win32SimServer server(options);
    if (!server.Start(error)) {
        std::fprintf(stderr, "knot-unit-sim: %s\n", error.c_str());
        return 1;
    }
    // Scripts and tests wait for this line before they plug units.
    std::printf("knot-unit-sim: serving through %s\n", UNIT_RELAY_SERVICE);
    std::fflush(stdout);
    server.Run();
    return 0;
}

int Request(const std::vector<std::string>& words) {
    std::string message;
    for (const std::string& word : words) {
        if (!message.empty())
            message += '\0';
        message += word;
    }
    char reply[PIPE_BUFFER + 1] = {};
    DWORD got = 0;
    if (!CallNamedPipeA(PIPE_NAME, message.data(), static_cast<DWORD>(message.size()), reply,
                        PIPE_BUFFER, &got, CONTROL_TIMEOUT_MS) ||
        got == 0) {
        std::fprintf(stderr, "knot-unit-sim: no simulator serves (%s)\n", PIPE_NAME);
        return 1;
    }
    const std::string text(reply + 1, got - 1);
    if (reply[0] != REPLY_OK) {
        std::fprintf(stderr, "knot-unit-sim: %s\n", text.c_str());
        return 1;
    }
    std::fputs(text.c_str(), stdout);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    return RunSimCommandLine({argv + 1, argv + argc}, USAGE, {"plug", "unplug", "list", "stop"},
                             Serve, Request);
}
