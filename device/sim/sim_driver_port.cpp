#include "sim_driver_port.h"

#include "unit_lock.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sstream>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace knot::device {
namespace {

// How long the port waits for the simulator to answer anything but a receive.
constexpr int CONTROL_TIMEOUT_MS = 2000;
// How long the description of an absence waits for a simulator to answer.
constexpr int PROBE_TIMEOUT_MS = 500;

} // namespace

struct SimDriverPort::Entry {
    Kind kind;
    int fd = -1;
    std::vector<Interface> interfaces; // Set only

    Entry(Kind k, int descriptor) : kind(k), fd(descriptor) {}
    ~Entry() {
        if (fd >= 0)
            ::close(fd);
    }
    Entry(const Entry&) = delete;
    Entry& operator=(const Entry&) = delete;
};

SimDriverPort::SimDriverPort(std::string directory, int receiveTimeoutMs)
    : m_directory(std::move(directory)), m_receiveTimeoutMs(receiveTimeoutMs) {}

SimDriverPort::~SimDriverPort() = default;

std::string SimDriverPort::DirectoryRefusal() const {
    std::lock_guard lock(m_mutex);
    return m_refusal;
}

bool SimDriverPort::DirectoryTrusted() const {
    std::string problem = SimDirectoryProblem(m_directory);
    std::lock_guard lock(m_mutex);
    if (problem != m_refusal && !problem.empty())
        std::fprintf(stderr, "%s\n", problem.c_str());
    m_refusal = std::move(problem);
    return m_refusal.empty();
}

std::vector<SimDriverPort::Interface> SimDriverPort::Enumerate() const {
    bool ok = false;
    std::string reply;
    std::vector<Interface> interfaces;
    if (!DirectoryTrusted())
        return interfaces;
    // A simulator that is not running has no units; that is not an error of the service.
    if (!SimControlRequest(m_directory, {"enumerate"}, ok, reply, CONTROL_TIMEOUT_MS) || !ok)
        return interfaces;
    std::istringstream lines(reply);
    std::string line;
    while (std::getline(lines, line)) {
        const auto tab = line.find('\t');
        if (tab == std::string::npos)
            continue;
        const auto slotTab = line.find('\t', tab + 1);
        interfaces.push_back({line.substr(0, tab), line.substr(tab + 1, slotTab - tab - 1),
                              slotTab == std::string::npos ? "" : line.substr(slotTab + 1)});
    }
    return interfaces;
}

PortHandle SimDriverPort::Add(std::shared_ptr<Entry> entry) {
    std::lock_guard lock(m_mutex);
    const PortHandle handle = m_nextHandle++;
    m_handles.emplace(handle, std::move(entry));
    return handle;
}

std::shared_ptr<SimDriverPort::Entry> SimDriverPort::Find(PortHandle handle, Kind kind) const {
    std::lock_guard lock(m_mutex);
    const auto it = m_handles.find(handle);
    if (it == m_handles.end() || it->second->kind != kind)
        return nullptr;
    return it->second;
}

std::shared_ptr<SimDriverPort::Entry> SimDriverPort::Remove(PortHandle handle, Kind kind) {
    std::lock_guard lock(m_mutex);
    const auto it = m_handles.find(handle);
    if (it == m_handles.end() || it->second->kind != kind)
        return nullptr;
    std::shared_ptr<Entry> entry = std::move(it->second);
    m_handles.erase(it);
    return entry;
}

PortHandle SimDriverPort::GetClassDevices() {
    auto entry = std::make_shared<Entry>(Kind::Set, -1);
    entry->interfaces = Enumerate();
    return Add(std::move(entry));
}

bool SimDriverPort::EnumDeviceInterface(PortHandle set, std::uint32_t index) {
    const auto entry = Find(set, Kind::Set);
    return entry && index < entry->interfaces.size();
}

std::size_t SimDriverPort::GetInterfaceDetailSize(PortHandle set, std::uint32_t index) {
    const auto entry = Find(set, Kind::Set);
    if (!entry || index >= entry->interfaces.size())
        return 0;
    return entry->interfaces[index].devicePath.size() + 1;
}

bool SimDriverPort::GetInterfaceDetail(PortHandle set, std::uint32_t index, std::string& path) {
    const auto entry = Find(set, Kind::Set);
    if (!entry || index >= entry->interfaces.size())
        return false;
    path = entry->interfaces[index].devicePath;
    return true;
}

std::string SimDriverPort::GetInterfaceLocation(PortHandle set, std::uint32_t index) {
    const auto entry = Find(set, Kind::Set);
    if (!entry || index >= entry->interfaces.size())
        return "";
    return entry->interfaces[index].location;
}

void SimDriverPort::DestroyDeviceInfoList(PortHandle set) {
    Remove(set, Kind::Set);
}

PortHandle SimDriverPort::CreateFile(const std::string& path) {
    // The path is looked up afresh, so a unit unplugged since the enumeration cannot be opened,
    // and the folder is checked again before its socket is connected to.
    for (const Interface& interface : Enumerate()) {
        if (interface.devicePath != path)
            continue;
        const int fd = SimConnect(SimJoinPath(m_directory, interface.socketName));
        if (fd < 0)
            return INVALID_PORT_HANDLE;
        return Add(std::make_shared<Entry>(Kind::File, fd));
    }
    return INVALID_PORT_HANDLE;
}

bool SimDriverPort::DeviceIoControl(PortHandle handle, std::uint32_t code, const void* in,
                                    std::size_t inSize, void* out, std::size_t outSize,
                                    std::size_t& returned) {
    returned = 0;
    const auto entry = Find(handle, Kind::File);
    if (!entry || (in == nullptr && inSize != 0) ||
        inSize > SIM_MAX_MESSAGE - SIM_UNIT_REQUEST_HEADER)
        return false;
    const int timeoutMs = m_receiveTimeoutMs.load();
    std::vector<std::uint8_t> request;
    SimPutWord(request, code);
    SimPutWord(request, static_cast<std::uint32_t>(timeoutMs < 0 ? 0 : timeoutMs));
    const auto* bytes = static_cast<const std::uint8_t*>(in);
    request.insert(request.end(), bytes, bytes + inSize);

    std::vector<std::uint8_t> reply;
    if (!SimSendMessage(entry->fd, request.data(), request.size()))
        return false;
    if (!SimReceiveMessage(entry->fd, reply,
                           code == IOCTL_UNIT_RECEIVE ? timeoutMs + SIM_REPLY_MARGIN_MS
                                                      : CONTROL_TIMEOUT_MS)) {
        // A reply that comes later would answer the next request: the handle is dead from now.
        ::shutdown(entry->fd, SHUT_RDWR);
        return false;
    }
    if (reply.empty() || reply[0] != 1)
        return false;
    const std::size_t size = reply.size() - 1;
    if (size > outSize || (size > 0 && out == nullptr))
        return false; // the driver's "buffer too small"
    if (size > 0)
        std::memcpy(out, reply.data() + 1, size);
    returned = size;
    return true;
}

void SimDriverPort::CloseHandle(PortHandle handle) {
    Remove(handle, Kind::File);
}

PortHandle SimDriverPort::CreateStopEvent() {
    const int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fd < 0)
        return INVALID_PORT_HANDLE;
    return Add(std::make_shared<Entry>(Kind::StopEvent, fd));
}

bool SimDriverPort::SetEvent(PortHandle event) {
    // The driver's event is opened for waiting only, so only our own stop event can be set.
    const auto entry = Find(event, Kind::StopEvent);
    const std::uint64_t one = 1;
    return entry && ::write(entry->fd, &one, sizeof one) == sizeof one;
}

PortHandle SimDriverPort::OpenNamedEvent(const std::string& name) {
    if (!DirectoryTrusted())
        return INVALID_PORT_HANDLE;
    const int fd = SimConnect(SimJoinPath(m_directory, SimEventSocketName(name)));
    if (fd < 0)
        return INVALID_PORT_HANDLE;
    return Add(std::make_shared<Entry>(Kind::NamedEvent, fd));
}

WaitOutcome SimDriverPort::WaitForStopOrEvent(PortHandle stopEvent, PortHandle namedEvent,
                                              int timeoutMs) {
    const auto stop = Find(stopEvent, Kind::StopEvent);
    const auto named = Find(namedEvent, Kind::NamedEvent);
    if (!stop || !named)
        return WaitOutcome::Failed;
    pollfd entries[2] = {{stop->fd, POLLIN, 0}, {named->fd, POLLIN, 0}};
    int ready = -1;
    do {
        ready = ::poll(entries, 2, timeoutMs < 0 ? -1 : timeoutMs);
    } while (ready < 0 && errno == EINTR);
    if (ready < 0)
        return WaitOutcome::Failed;
    if (ready == 0)
        return WaitOutcome::TimedOut;
    if (entries[0].revents & POLLIN) {
        std::uint64_t count = 0;
        // Reading the counter resets the event, as an auto-reset event is reset by the wait.
        if (::read(stop->fd, &count, sizeof count) != sizeof count)
            return WaitOutcome::Failed;
        return WaitOutcome::Stop;
    }
    // The simulator signals the event by writing to it or by closing it with the unit.
    if (entries[1].revents & (POLLIN | POLLHUP | POLLERR))
        return WaitOutcome::Disconnected;
    return WaitOutcome::Failed;
}

void SimDriverPort::CloseEvent(PortHandle event) {
    if (!Remove(event, Kind::StopEvent))
        Remove(event, Kind::NamedEvent);
}

UnitLockResult SimDriverPort::LockUnit(const std::string& devicePath) {
    // Units of two simulators may share a device path: the folder tells them apart.
    std::uint64_t hash = 14695981039346656037ULL; // FNV-1a
    for (unsigned char c : m_directory) {
        hash = (hash ^ c) * 1099511628211ULL;
    }
    char folder[24];
    std::snprintf(folder, sizeof folder, "sim-%016llx-", static_cast<unsigned long long>(hash));
    return LockByFile(UnitLockName(folder + devicePath));
}

void SimDriverPort::UnlockUnit(PortHandle lock) {
    UnlockFile(lock);
}

std::string SimDriverPort::DescribeAbsence() {
    // A refused folder is named on standard error with the reason: no simulator is to be started.
    if (!DirectoryTrusted())
        return "";
    bool ok = false;
    std::string reply;
    if (SimControlRequest(m_directory, {"list"}, ok, reply, PROBE_TIMEOUT_MS)) {
        return "the simulator at " + m_directory +
               " has no unit plugged (plug one with: knot-unit-sim plug)";
    }
    return "no simulator answers at " + m_directory +
           " (KNOT_SIM_DIR); start one with: knot-unit-sim serve & then knot-unit-sim plug";
}

} // namespace knot::device
