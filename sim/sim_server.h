// The knot-unit-sim process's server: holds the plugged virtual units, serves their sockets, the
// control socket and the disconnect events in the rendezvous folder, all from one poll loop.
#pragma once

#include "serve_options.h"
#include "virtual_unit.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

class SimServer {
  public:
    explicit SimServer(ServeOptions options);
    ~SimServer(); // unplugs every unit and removes what Start created
    SimServer(const SimServer&) = delete;
    SimServer& operator=(const SimServer&) = delete;

    bool Start(std::string& error);
    // Serves until `stopFd` becomes readable.
    void Run(int stopFd);

  private:
    using Clock = std::chrono::steady_clock;
    struct PendingAnswer {
        UnitPacket packet;
        Clock::time_point readyAt;
    };
    struct Unit {
        explicit Unit(UnitConfig config) : unit(std::move(config)) {}
        VirtualUnit unit;
        int listenFd = -1;
        std::string socketPath;
        std::deque<PendingAnswer> answers;
        std::optional<Clock::time_point> unplugAt;
    };
    enum class ClientKind { Control, Unit, EventWatcher };
    struct Client {
        explicit Client(ClientKind k) : kind(k) {}
        ClientKind kind;
        std::int32_t unitNumber = -1; // Unit
        std::string eventName;        // EventWatcher
        bool waiting = false;         // a receive waits for an answer
        Clock::time_point deadline{};
        std::uint64_t waitOrder = 0;
    };
    struct EventEndpoint {
        int listenFd = -1;
        std::string path;
    };

    Unit* FindUnit(std::int32_t number);
    std::string HandleControl(const std::vector<std::string>& words, bool& ok);
    std::string Plug(const std::vector<std::string>& options, bool& ok);
    bool Unplug(std::int32_t number);
    void SignalEvent(const std::string& name, bool keepEndpoint);
    void HandleUnitRequest(int fd, Client& client, const std::vector<std::uint8_t>& request);
    void DeliverAnswers();
    void RunTimers();
    int NextTimeoutMs() const;
    void AcceptAll(int listenFd, const Client& kind);
    void CloseClient(int fd);
    void CloseFd(int fd);
    void Capture(std::int32_t number, char direction, const UnitPacket& packet);
    void Reply(int fd, bool ok, const std::uint8_t* bytes, std::size_t size);

    ServeOptions m_options;
    bool m_createdDirectory = false;
    int m_controlFd = -1;
    std::string m_controlPath;
    std::FILE* m_capture = nullptr;
    std::vector<std::unique_ptr<Unit>> m_units; // in plug order
    std::map<std::string, EventEndpoint> m_events;
    std::map<int, Client> m_clients;
    std::uint64_t m_nextWaitOrder = 0;
    std::set<int> m_closedThisRound;
};
