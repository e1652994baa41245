#include "sim_server.h"

#include "driver_port.h"
#include "sim_wire.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace knot::sim {
using namespace knot::device;

namespace {

// The longest the server sleeps without looking at its timers, and how late a due timer may
// wake it.
constexpr std::chrono::hours LONGEST_WAIT{1};
constexpr unsigned long TIMER_SLACK_NS = 1000;

} // namespace

SimServer::SimServer(ServeOptions options) : m_options(options), m_host(*this, options) {}

SimServer::~SimServer() {
    m_host.UnplugAll();
    while (!m_clients.empty())
        CloseClient(m_clients.begin()->first);
    if (m_controlFd >= 0) {
        ::close(m_controlFd);
        ::unlink(m_controlPath.c_str());
    }
    if (m_createdDirectory) {
        std::error_code ignored;
        std::filesystem::remove(m_options.directory, ignored); // only when empty
    }
}

bool SimServer::Start(std::string& error) {
    std::error_code failure;
    const bool existed = std::filesystem::exists(m_options.directory, failure);
    // The folder is made private to us, and one that another user could reach is refused:
    // whoever can place a socket there would receive every packet the programs send.
    if (std::string problem = SimMakePrivateDirectory(m_options.directory); !problem.empty()) {
        error = problem;
        return false;
    }
    m_createdDirectory = !existed;
    if (!m_host.CheckSaveMemoryFolder(error))
        return false;
    m_controlPath = SimJoinPath(m_options.directory, SIM_CONTROL_SOCKET);
    const int other = SimConnect(m_controlPath);
    if (other >= 0) {
        ::close(other);
        error = "a simulator already serves " + m_options.directory;
        return false;
    }
    ::unlink(m_controlPath.c_str()); // left behind by a simulator that did not end cleanly
    m_controlFd = SimListen(m_controlPath);
    if (m_controlFd < 0) {
        error = "cannot listen on " + m_controlPath;
        return false;
    }
    return m_host.OpenCaptureFile(error);
}

void SimServer::Run(int stopFd) {
    // The thread's timers wake it within a microsecond of when they are due, not within the
    // usual 50: an answer is then ready as late as --latency-us asks and hardly later.
    ::prctl(PR_SET_TIMERSLACK, TIMER_SLACK_NS);
    for (;;) {
        std::vector<::pollfd> entries = PollEntries(stopFd);
        m_closedThisRound.clear();
        const std::optional<UnitHost::Clock::duration> wait = m_host.NextWait(LONGEST_WAIT);
        timespec timeout{};
        if (wait) {
            const auto seconds = std::chrono::floor<std::chrono::seconds>(*wait);
            timeout.tv_sec = static_cast<time_t>(seconds.count());
            timeout.tv_nsec = static_cast<long>(
                std::chrono::duration_cast<std::chrono::nanoseconds>(*wait - seconds).count());
        }
        const int ready =
            ::ppoll(entries.data(), entries.size(), wait ? &timeout : nullptr, nullptr);
        if (ready < 0 && errno != EINTR)
            return;
        if (entries[0].revents != 0)
            return;
        for (const ::pollfd& entry : entries) {
            // A descriptor closed earlier in this round may already stand for something new.
            if (entry.revents == 0 || entry.fd == stopFd || m_closedThisRound.count(entry.fd))
                continue;
            Serve(entry.fd);
        }
        m_host.RunTimers();
        m_host.DeliverAnswers();
    }
}

std::vector<::pollfd> SimServer::PollEntries(int stopFd) const {
    std::vector<::pollfd> entries;
    entries.push_back({stopFd, POLLIN, 0});
    entries.push_back({m_controlFd, POLLIN, 0});
    for (std::int32_t number : m_host.PluggedUnits())
        entries.push_back({m_unitListenFds.at(number), POLLIN, 0});
    for (const auto& [name, endpoint] : m_events)
        entries.push_back({endpoint.listenFd, POLLIN, 0});
    for (const auto& [fd, client] : m_clients)
        entries.push_back({fd, POLLIN, 0});
    return entries;
}

void SimServer::Serve(int fd) {
    if (fd == m_controlFd) {
        AcceptAll(m_controlFd, Client{ClientKind::Control});
        return;
    }
    for (const auto& [number, listenFd] : m_unitListenFds) {
        if (listenFd == fd) {
            Client client{ClientKind::Unit};
            client.unitNumber = number;
            AcceptAll(fd, client);
            return;
        }
    }
    for (const auto& [name, endpoint] : m_events) {
        if (endpoint.listenFd == fd) {
            Client client{ClientKind::EventWatcher};
            client.eventName = name;
            AcceptAll(fd, client);
            return;
        }
    }
    // A client; it may have gone with a unit unplugged earlier in this round.
    const auto found = m_clients.find(fd);
    if (found == m_clients.end())
        return;
    if (found->second.kind == ClientKind::EventWatcher) {
        CloseClient(fd); // a watcher only ever hangs up
        return;
    }
    std::vector<std::uint8_t> request;
    if (!SimReceiveMessage(fd, request, 0)) {
        CloseClient(fd);
        return;
    }
    if (found->second.kind == ClientKind::Unit)
        HandleUnitRequest(fd, found->second, request);
    else
        ServeControlRequest(fd, request);
}

void SimServer::ServeControlRequest(int fd, const std::vector<std::uint8_t>& request) {
    std::vector<std::string> words(1);
    for (std::uint8_t byte : request) {
        if (byte == 0)
            words.emplace_back();
        else
            words.back() += static_cast<char>(byte);
    }
    bool ok = false;
    const std::string text = m_host.HandleControl(words, ok);
    std::string reply(1, ok ? SIM_REPLY_OK : SIM_REPLY_ERROR);
    reply += text;
    SimSendMessage(fd, reply.data(), std::min(reply.size(), SIM_MAX_MESSAGE));
    CloseClient(fd);
}

bool SimServer::OnPlug(const UnitConfig& config, std::string& error) {
    const std::string socketPath =
        SimJoinPath(m_options.directory, SimUnitSocketName(config.number));
    ::unlink(socketPath.c_str());
    const int listenFd = SimListen(socketPath);
    if (listenFd < 0) {
        error = "cannot listen on " + socketPath;
        return false;
    }
    if (config.hasEvent) {
        const std::string name = UnitEventName(config);
        if (m_events.find(name) == m_events.end()) {
            EventEndpoint endpoint;
            endpoint.path = SimJoinPath(m_options.directory, SimEventSocketName(name));
            ::unlink(endpoint.path.c_str());
            endpoint.listenFd = SimListen(endpoint.path);
            if (endpoint.listenFd < 0) {
                ::close(listenFd);
                ::unlink(socketPath.c_str());
                error = "cannot listen on " + endpoint.path;
                return false;
            }
            m_events.emplace(name, endpoint);
        }
    }
    m_unitListenFds[config.number] = listenFd;
    return true;
}

void SimServer::OnUnplug(const UnitConfig& config, bool eventShared) {
    const auto listening = m_unitListenFds.find(config.number);
    if (listening != m_unitListenFds.end()) {
        CloseFd(listening->second);
        m_unitListenFds.erase(listening);
    }
    ::unlink(SimJoinPath(m_options.directory, SimUnitSocketName(config.number)).c_str());
    // Every open handle of the unit fails from now on, a receive that waits among them.
    std::vector<int> handles;
    for (const auto& [fd, client] : m_clients) {
        if (client.kind == ClientKind::Unit && client.unitNumber == config.number)
            handles.push_back(fd);
    }
    for (int fd : handles)
        CloseClient(fd);
    if (config.hasEvent)
        SignalEvent(UnitEventName(config), eventShared);
}

bool SimServer::CompleteReceive(std::uint64_t ticket, const UnitPacket* answer) {
    const int fd = static_cast<int>(ticket); // a unit client's receive is held by its descriptor
    if (answer != nullptr)
        Reply(fd, true, answer->data(), answer->size());
    else
        Reply(fd, false, nullptr, 0);
    return true;
}

bool SimServer::IsOwnRequest(const std::string& command) const {
    return command == "enumerate";
}

std::string SimServer::AnswerOwnRequest(const std::string&) {
    // One line per unit in plug order: its socket name, a tab, its device path, and a tab and
    // its slot when it has one.
    std::string text;
    for (std::int32_t number : m_host.PluggedUnits()) {
        const UnitConfig& config = m_host.FindUnit(number)->Config();
        text += SimUnitSocketName(number) + "\t" + UnitDevicePath(config);
        if (!config.slot.empty())
            text += "\t" + config.slot;
        text += "\n";
    }
    return text;
}

void SimServer::SignalEvent(const std::string& name, bool keepEndpoint) {
    const auto endpoint = m_events.find(name);
    if (endpoint == m_events.end())
        return;
    // Watchers still in the listen queue are signalled too.
    Client watcher{ClientKind::EventWatcher};
    watcher.eventName = name;
    AcceptAll(endpoint->second.listenFd, watcher);
    std::vector<int> watchers;
    for (const auto& [fd, client] : m_clients) {
        if (client.kind == ClientKind::EventWatcher && client.eventName == name)
            watchers.push_back(fd);
    }
    const std::uint8_t signal = 1;
    for (int fd : watchers) {
        SimSendMessage(fd, &signal, 1);
        CloseClient(fd);
    }
    if (!keepEndpoint) {
        CloseFd(endpoint->second.listenFd);
        ::unlink(endpoint->second.path.c_str());
        m_events.erase(endpoint);
    }
}

void SimServer::HandleUnitRequest(int fd, const Client& client,
                                  const std::vector<std::uint8_t>& request) {
    const std::int32_t number = client.unitNumber;
    if (m_host.FindUnit(number) == nullptr || request.size() < SIM_UNIT_REQUEST_HEADER) {
        Reply(fd, false, nullptr, 0);
        return;
    }
    const std::uint32_t code = SimGetWord(request.data());
    const std::uint32_t timeoutMs = SimGetWord(request.data() + 4);
    const auto input = std::span(request).subspan(SIM_UNIT_REQUEST_HEADER);

    if (code == IOCTL_UNIT_SEND) {
        if (input.empty()) {
            Reply(fd, false, nullptr, 0);
            return;
        }
        const bool vanishes = m_host.Send(number, input);
        Reply(fd, true, nullptr, 0); // the driver took the packet
        if (vanishes)
            m_host.Unplug(number);
    } else if (code == IOCTL_UNIT_RECEIVE) {
        m_host.HoldReceive(static_cast<std::uint64_t>(fd), number,
                           UnitHost::Clock::now() + std::chrono::milliseconds(timeoutMs));
        m_host.DeliverAnswers();
    } else if (const auto fact = m_host.ReadFact(number, code)) {
        Reply(fd, true, fact->data(), fact->size());
    } else {
        Reply(fd, false, nullptr, 0);
    }
}

void SimServer::AcceptAll(int listenFd, const Client& kind) {
    for (;;) {
        // Non-blocking, so that a client that reads no replies cannot stall the server.
        const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0)
            return;
        m_clients.emplace(fd, kind);
    }
}

void SimServer::CloseClient(int fd) {
    m_host.DropReceive(static_cast<std::uint64_t>(fd));
    m_clients.erase(fd);
    CloseFd(fd);
}

void SimServer::CloseFd(int fd) {
    ::close(fd);
    m_closedThisRound.insert(fd);
}

void SimServer::Reply(int fd, bool ok, const std::uint8_t* bytes, std::size_t size) {
    std::vector<std::uint8_t> reply(1, ok ? 1 : 0);
    if (bytes != nullptr)
        reply.insert(reply.end(), bytes, bytes + size);
    SimSendMessage(fd, reply.data(), reply.size());
}

} // namespace knot::sim
