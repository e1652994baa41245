#include "relay_server.h"

#include "driver_port.h"

#include <winioctl.h>

#include <algorithm>
#include <chrono>
#include <vector>

namespace knot::sim {
using namespace knot::device;

namespace {

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
// The longest the server sleeps without looking at its timers.
constexpr std::chrono::seconds LONGEST_WAIT{60};
// CreateWaitableTimerExW's flag for a timer of the finest resolution (Windows 10, 1803 on); the
// MinGW headers do not name it. Where it is refused, a plain waitable timer serves.
constexpr DWORD HIGH_RESOLUTION_TIMER = 0x00000002;
// A due time of a waitable timer counts in 100 ns.
using TimerTicks = std::chrono::duration<LONGLONG, std::ratio<1, 10000000>>;

} // namespace

RelayServer::RelayServer(ServeOptions options) : m_host(*this, std::move(options)) {}

RelayServer::~RelayServer() {
    m_host.UnplugAll();
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
    if (m_timer)
        CloseHandle(m_timer);
}

bool RelayServer::Start(std::string& error) {
    if (!m_host.CheckSaveMemoryFolder(error) || !m_host.OpenCaptureFile(error))
        return false;
    m_pipe = CreateNamedPipeA(
        PIPE_NAME, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
        PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, PIPE_BUFFER, PIPE_BUFFER, 0,
        nullptr);
    if (m_pipe == INVALID_HANDLE_VALUE) {
        error = GetLastError() == ERROR_ACCESS_DENIED ? "a simulator already serves"
                                                      : Win32ErrorText("creating the pipe");
        return false;
    }
    if (!m_service.Install(error))
        return false;
    m_relay = UnitDriverService::OpenRelayDevice(error);
    if (m_relay == INVALID_HANDLE_VALUE)
        return false;
    for (Asker& asker : m_askers) {
        asker.overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        if (!asker.overlapped.hEvent || !Ask(asker)) {
            error = Win32ErrorText("asking the driver for requests");
            return false;
        }
    }
    m_connect.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    m_timer = CreateWaitableTimerExW(nullptr, nullptr, HIGH_RESOLUTION_TIMER, TIMER_ALL_ACCESS);
    if (!m_timer)
        m_timer = CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
    if (!m_timer) {
        error = Win32ErrorText("creating a timer");
        return false;
    }
    return m_connect.hEvent && Listen();
}

void RelayServer::Run() {
    while (!m_stop) {
        std::vector<HANDLE> events;
        for (Asker& asker : m_askers)
            events.push_back(asker.overlapped.hEvent);
        events.push_back(m_connect.hEvent);
        DWORD timeoutMs = INFINITE;
        if (const auto wait = m_host.NextWait(LONGEST_WAIT)) {
            LARGE_INTEGER due; // negative: from now
            due.QuadPart = -std::max<LONGLONG>(std::chrono::ceil<TimerTicks>(*wait).count(), 1);
            if (SetWaitableTimer(m_timer, &due, 0, nullptr, nullptr, FALSE))
                events.push_back(m_timer);
            else
                timeoutMs =
                    static_cast<DWORD>(std::chrono::ceil<std::chrono::milliseconds>(*wait).count());
        }
        const DWORD woke = WaitForMultipleObjects(static_cast<DWORD>(events.size()), events.data(),
                                                  FALSE, timeoutMs);
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
        m_host.RunTimers();
        m_host.DeliverAnswers();
    }
}

bool RelayServer::Ask(Asker& asker) {
    ResetEvent(asker.overlapped.hEvent);
    DWORD got = 0;
    if (DeviceIoControl(m_relay, IOCTL_RELAY_NEXT, nullptr, 0, &asker.request, sizeof asker.request,
                        &got, &asker.overlapped))
        return true; // done at once; its event is signalled
    return GetLastError() == ERROR_IO_PENDING;
}

bool RelayServer::Answer(std::uint64_t id, bool ok, const std::uint8_t* bytes, std::size_t size) {
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

void RelayServer::HandleUnitRequest(const UnitRelayRequest& request) {
    const VirtualUnit* unit = m_host.FindUnit(request.unit);
    if (!unit) {
        Answer(request.id, false, nullptr, 0);
        return;
    }
    const UnitConfig& config = unit->Config();
    const std::int32_t number = config.number;
    // The unit's callers give exactly these sizes; a driver with fixed-size records refuses
    // any other, and so does this one, so that a caller's wrong size shows.
    const std::uint32_t fact =
        request.code == DRIVER_GET_DESCRIPTOR && request.outSize == DESCRIPTOR_SIZE
            ? IOCTL_UNIT_GET_DESCRIPTOR
        : request.code == DRIVER_GET_NUMBER && request.outSize == NUMBER_SIZE
            ? IOCTL_UNIT_GET_DEVICE_NUMBER
            : 0;
    if (request.code == DRIVER_SEND && request.inSize == config.packetSize) {
        const bool vanishes = m_host.Send(number, std::span(request.input, request.inSize));
        Answer(request.id, true, nullptr, 0); // the driver took the packet
        if (vanishes)
            m_host.Unplug(number);
    } else if (request.code == DRIVER_RECEIVE && request.inSize == 0 &&
               request.outSize == RECEIVE_CAPACITY) {
        // Held until the unit has an answer ready; a silent unit keeps it for good.
        m_host.HoldReceive(request.id, number, std::nullopt);
        m_host.DeliverAnswers();
    } else if (const auto bytes = m_host.ReadFact(number, fact)) {
        Answer(request.id, true, bytes->data(), bytes->size());
    } else {
        Answer(request.id, false, nullptr, 0);
    }
}

bool RelayServer::CompleteReceive(std::uint64_t ticket, const UnitPacket* answer) {
    if (answer == nullptr)
        return Answer(ticket, false, nullptr, 0);
    return Answer(ticket, true, answer->data(), answer->size());
}

// Creates the unit's root device, names it for the driver, and waits for its interface.
bool RelayServer::OnPlug(const UnitConfig& config, std::string& error) {
    if (!m_service.AddUnitDevice(config, error))
        return false;
    if (!UnitDriverService::WaitForUnitInterface(config, true)) {
        OnUnplug(config, false);
        error = "the driver did not add unit " + std::to_string(config.number);
        return false;
    }
    return true;
}

void RelayServer::OnUnplug(const UnitConfig& config, bool) {
    // The driver fails the unit's pending requests and signals its event.
    if (m_service.RemoveUnitDevice(config))
        UnitDriverService::WaitForUnitInterface(config, false);
}

bool RelayServer::IsOwnRequest(const std::string& command) const {
    return command == "stop";
}

std::string RelayServer::AnswerOwnRequest(const std::string&) {
    m_stop = true;
    return "";
}

bool RelayServer::Listen() {
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

void RelayServer::ServeControlClient() {
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
        reply += m_host.HandleControl(words, ok);
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

} // namespace knot::sim
