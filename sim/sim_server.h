// The knot-unit-sim process's server on Linux: the transport of the unit host over the local
// sockets of the rendezvous folder (the control socket, one socket per unit, one per disconnect
// event), all served from one poll loop.
#pragma once

#include "serve_options.h"
#include "unit_host.h"

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

struct pollfd;

namespace knot::sim {
class SimServer : private UnitHostListener {
  public:
    explicit SimServer(ServeOptions options);
    ~SimServer() override; // unplugs every unit and removes what Start created
    SimServer(const SimServer&) = delete;
    SimServer& operator=(const SimServer&) = delete;

    bool Start(std::string& error);
    // Serves until `stopFd` becomes readable.
    void Run(int stopFd);

  private:
    enum class ClientKind { Control, Unit, EventWatcher };
    struct Client {
        explicit Client(ClientKind k) : kind(k) {}
        ClientKind kind;
        std::int32_t unitNumber = -1; // Unit
        std::string eventName;        // EventWatcher
    };
    struct EventEndpoint {
        int listenFd = -1;
        std::string path;
    };

    bool OnPlug(const UnitConfig& config, std::string& error) override;
    void OnUnplug(const UnitConfig& config, bool eventShared) override;
    bool CompleteReceive(std::uint64_t ticket, const UnitPacket* answer) override;
    bool IsOwnRequest(const std::string& command) const override;
    std::string AnswerOwnRequest(const std::string& command) override;

    std::vector<::pollfd> PollEntries(int stopFd) const;
    // Serves one descriptor that poll found ready.
    void Serve(int fd);
    void ServeControlRequest(int fd, const std::vector<std::uint8_t>& request);
    void SignalEvent(const std::string& name, bool keepEndpoint);
    void HandleUnitRequest(int fd, const Client& client, const std::vector<std::uint8_t>& request);
    void AcceptAll(int listenFd, const Client& kind);
    void CloseClient(int fd);
    void CloseFd(int fd);
    void Reply(int fd, bool ok, const std::uint8_t* bytes, std::size_t size);

    ServeOptions m_options;
    UnitHost m_host;
    bool m_createdDirectory = false;
    int m_controlFd = -1;
    std::string m_controlPath;
    std::map<std::int32_t, int> m_unitListenFds; // by unit number
    std::map<std::string, EventEndpoint> m_events;
    std::map<int, Client> m_clients;
    std::set<int> m_closedThisRound;
};

} // namespace knot::sim
