#include "sim_server.h"

#include "sim_wire.h"
#include "unit_packet.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <filesystem>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Answers that nobody receives pile up no further than this; the oldest are dropped.
constexpr std::size_t MAX_QUEUED_ANSWERS = 4096;

} // namespace

SimServer::SimServer(ServeOptions options) : m_options(std::move(options)) {}

SimServer::~SimServer() {
    while (!m_units.empty())
        Unplug(m_units.front()->unit.Config().number);
    while (!m_clients.empty())
        CloseClient(m_clients.begin()->first);
    if (m_controlFd >= 0) {
        ::close(m_controlFd);
        ::unlink(m_controlPath.c_str());
    }
    if (m_capture != nullptr)
        std::fclose(m_capture);
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
    if (!m_options.saveMemoryDir.empty() &&
        !std::filesystem::is_directory(m_options.saveMemoryDir, failure)) {
        error = "--save-memory: " + m_options.saveMemoryDir + " is not a folder";
        return false;
    }
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
    if (!m_options.captureFile.empty()) {
        m_capture = std::fopen(m_options.captureFile.c_str(), "a");
        if (m_capture == nullptr) {
            error = "cannot open the capture file " + m_options.captureFile;
            return false;
        }
    }
    return true;
}

void SimServer::Run(int stopFd) {
    for (;;) {
        std::vector<pollfd> entries;
        entries.push_back({stopFd, POLLIN, 0});
        entries.push_back({m_controlFd, POLLIN, 0});
        for (const auto& unit : m_units)
            entries.push_back({unit->listenFd, POLLIN, 0});
        for (const auto& [name, endpoint] : m_events)
            entries.push_back({endpoint.listenFd, POLLIN, 0});
        for (const auto& [fd, client] : m_clients)
            entries.push_back({fd, POLLIN, 0});

        m_closedThisRound.clear();
        const int ready = ::poll(entries.data(), entries.size(), NextTimeoutMs());
        if (ready < 0 && errno != EINTR)
            return;
        if (entries[0].revents != 0)
            return;

        for (const pollfd& entry : entries) {
            // A descriptor closed earlier in this round may already stand for something new.
            if (entry.revents == 0 || entry.fd == stopFd || m_closedThisRound.count(entry.fd))
                continue;
            if (entry.fd == m_controlFd) {
                AcceptAll(m_controlFd, Client{ClientKind::Control});
                continue;
            }
            const auto unit = std::find_if(m_units.begin(), m_units.end(),
                                           [&](const auto& u) { return u->listenFd == entry.fd; });
            if (unit != m_units.end()) {
                Client client{ClientKind::Unit};
                client.unitNumber = (*unit)->unit.Config().number;
                AcceptAll(entry.fd, client);
                continue;
            }
            const auto event = std::find_if(m_events.begin(), m_events.end(), [&](const auto& e) {
                return e.second.listenFd == entry.fd;
            });
            if (event != m_events.end()) {
                Client client{ClientKind::EventWatcher};
                client.eventName = event->first;
                AcceptAll(entry.fd, client);
                continue;
            }
            // A client; it may have gone with a unit unplugged earlier in this round.
            const auto found = m_clients.find(entry.fd);
            if (found == m_clients.end())
                continue;
            if (found->second.kind == ClientKind::EventWatcher) {
                CloseClient(entry.fd); // a watcher only ever hangs up
                continue;
            }
            std::vector<std::uint8_t> request;
            if (!SimReceiveMessage(entry.fd, request, 0)) {
                CloseClient(entry.fd);
                continue;
            }
            if (found->second.kind == ClientKind::Unit) {
                HandleUnitRequest(entry.fd, found->second, request);
                continue;
            }
            std::vector<std::string> words(1);
            for (std::uint8_t byte : request) {
                if (byte == 0)
                    words.emplace_back();
                else
                    words.back() += static_cast<char>(byte);
            }
            bool ok = false;
            const std::string text = HandleControl(words, ok);
            std::string reply(1, ok ? SIM_REPLY_OK : SIM_REPLY_ERROR);
            reply += text;
            SimSendMessage(entry.fd, reply.data(), std::min(reply.size(), SIM_MAX_MESSAGE));
            CloseClient(entry.fd);
        }
        RunTimers();
        DeliverAnswers();
    }
}

SimServer::Unit* SimServer::FindUnit(std::int32_t number) {
    for (const auto& unit : m_units) {
        if (unit->unit.Config().number == number)
            return unit.get();
    }
    return nullptr;
}

std::string SimServer::HandleControl(const std::vector<std::string>& words, bool& ok) {
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
    if (command == "list" || command == "enumerate") {
        if (words.size() != 1)
            return command + " takes no options";
        std::string text;
        for (const auto& unit : m_units) {
            const UnitConfig& config = unit->unit.Config();
            if (command == "list")
                text += DescribeUnit(config) + "\n";
            else
                text += SimUnitSocketName(config.number) + "\t" + UnitDevicePath(config) + "\n";
        }
        ok = true;
        return text;
    }
    return "unknown request \"" + command + "\"";
}

std::string SimServer::Plug(const std::vector<std::string>& options, bool& ok) {
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
    unit->socketPath = SimJoinPath(m_options.directory, SimUnitSocketName(config.number));
    ::unlink(unit->socketPath.c_str());
    unit->listenFd = SimListen(unit->socketPath);
    if (unit->listenFd < 0)
        return "cannot listen on " + unit->socketPath;
    if (config.hasEvent) {
        const std::string name = UnitEventName(config);
        if (m_events.find(name) == m_events.end()) {
            EventEndpoint endpoint;
            endpoint.path = SimJoinPath(m_options.directory, SimEventSocketName(name));
            ::unlink(endpoint.path.c_str());
            endpoint.listenFd = SimListen(endpoint.path);
            if (endpoint.listenFd < 0) {
                ::close(unit->listenFd);
                ::unlink(unit->socketPath.c_str());
                return "cannot listen on " + endpoint.path;
            }
            m_events.emplace(name, endpoint);
        }
    }
    m_units.push_back(std::move(unit));
    ok = true;
    return std::to_string(config.number) + "\n";
}

bool SimServer::Unplug(std::int32_t number) {
    const auto it = std::find_if(m_units.begin(), m_units.end(), [&](const auto& unit) {
        return unit->unit.Config().number == number;
    });
    if (it == m_units.end())
        return false;
    const std::unique_ptr<Unit> unit = std::move(*it);
    m_units.erase(it);
    CloseFd(unit->listenFd);
    ::unlink(unit->socketPath.c_str());
    // Every open handle of the unit fails from now on, a receive that waits among them.
    std::vector<int> handles;
    for (const auto& [fd, client] : m_clients) {
        if (client.kind == ClientKind::Unit && client.unitNumber == number)
            handles.push_back(fd);
    }
    for (int fd : handles)
        CloseClient(fd);

    const UnitConfig& config = unit->unit.Config();
    if (config.hasEvent) {
        const std::string name = UnitEventName(config);
        // Units that report no number share one event name; it stays while one of them is left.
        const bool shared = std::any_of(m_units.begin(), m_units.end(), [&](const auto& other) {
            return other->unit.Config().hasEvent && UnitEventName(other->unit.Config()) == name;
        });
        SignalEvent(name, shared);
    }
    return true;
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

void SimServer::HandleUnitRequest(int fd, Client& client,
                                  const std::vector<std::uint8_t>& request) {
    Unit* unit = FindUnit(client.unitNumber);
    if (unit == nullptr || request.size() < SIM_UNIT_REQUEST_HEADER) {
        Reply(fd, false, nullptr, 0);
        return;
    }
    const std::uint32_t code = SimGetWord(request.data());
    const std::uint32_t timeoutMs = SimGetWord(request.data() + 4);
    const UnitPacket input(request.begin() + SIM_UNIT_REQUEST_HEADER, request.end());
    const UnitConfig& config = unit->unit.Config();
    const std::int32_t number = config.number;

    if (code == IOCTL_UNIT_SEND) {
        if (input.empty()) {
            Reply(fd, false, nullptr, 0);
            return;
        }
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
        Reply(fd, true, nullptr, 0); // the driver took the packet
        if (reaction.unplugNow)
            Unplug(number);
    } else if (code == IOCTL_UNIT_RECEIVE) {
        client.waiting = true;
        client.waitOrder = m_nextWaitOrder++;
        client.deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        DeliverAnswers();
    } else if (code == IOCTL_UNIT_GET_DESCRIPTOR && config.hasDescriptor) {
        const auto descriptor = UnitDescriptor(config);
        Reply(fd, true, descriptor.data(), descriptor.size());
    } else if (code == IOCTL_UNIT_GET_DEVICE_NUMBER && config.hasNumber) {
        std::vector<std::uint8_t> bytes;
        SimPutWord(bytes, static_cast<std::uint32_t>(number));
        Reply(fd, true, bytes.data(), bytes.size());
    } else {
        Reply(fd, false, nullptr, 0);
    }
}

void SimServer::DeliverAnswers() {
    const auto now = Clock::now();
    std::vector<std::pair<std::uint64_t, int>> waiting;
    for (const auto& [fd, client] : m_clients) {
        if (client.waiting)
            waiting.emplace_back(client.waitOrder, fd);
    }
    std::sort(waiting.begin(), waiting.end()); // receives are served in the order they came
    for (const auto& [order, fd] : waiting) {
        Client& client = m_clients.at(fd);
        Unit* unit = FindUnit(client.unitNumber);
        if (unit != nullptr && !unit->answers.empty() && unit->answers.front().readyAt <= now) {
            const UnitPacket answer = std::move(unit->answers.front().packet);
            unit->answers.pop_front();
            client.waiting = false;
            Reply(fd, true, answer.data(), answer.size());
        } else if (client.deadline <= now) {
            client.waiting = false;
            Reply(fd, false, nullptr, 0); // no answer came: the read fails
        }
    }
}

void SimServer::RunTimers() {
    const auto now = Clock::now();
    std::vector<std::int32_t> due;
    for (const auto& unit : m_units) {
        if (unit->unplugAt && *unit->unplugAt <= now)
            due.push_back(unit->unit.Config().number);
    }
    for (std::int32_t number : due)
        Unplug(number);
}

int SimServer::NextTimeoutMs() const {
    auto next = Clock::time_point::max();
    for (const auto& unit : m_units) {
        if (unit->unplugAt)
            next = std::min(next, *unit->unplugAt);
    }
    for (const auto& [fd, client] : m_clients) {
        if (!client.waiting)
            continue;
        next = std::min(next, client.deadline);
        for (const auto& unit : m_units) {
            if (unit->unit.Config().number == client.unitNumber && !unit->answers.empty())
                next = std::min(next, unit->answers.front().readyAt);
        }
    }
    if (next == Clock::time_point::max())
        return -1;
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(next - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(wait, 0, INT_MAX));
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
    m_clients.erase(fd);
    CloseFd(fd);
}

void SimServer::CloseFd(int fd) {
    ::close(fd);
    m_closedThisRound.insert(fd);
}

void SimServer::Capture(std::int32_t number, char direction, const UnitPacket& packet) {
    if (m_capture == nullptr)
        return;
    std::fprintf(m_capture, "%s\n", FormatCaptureLine(number, direction, packet).c_str());
    std::fflush(m_capture);
}

void SimServer::Reply(int fd, bool ok, const std::uint8_t* bytes, std::size_t size) {
    std::vector<std::uint8_t> reply(1, ok ? 1 : 0);
    if (bytes != nullptr)
        reply.insert(reply.end(), bytes, bytes + size);
    SimSendMessage(fd, reply.data(), reply.size());
}
