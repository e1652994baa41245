// knot-unit-sim.exe's server: the transport of the unit host through the test driver. It installs
// the driver, answers every request of every plugged unit's device from the host through the
// driver's relay device, and serves the control requests on a named pipe, until "stop".
#pragma once

#include "serve_options.h"
#include "unit_driver_service.h"
#include "unit_host.h"
#include "unit_relay.h"

#include <cstdint>
#include <string>

namespace knot::sim {
// The control pipe: its name, the largest message either way, how long a request may take, and
// the first byte of a reply.
inline constexpr const char* PIPE_NAME = "\\\\.\\pipe\\knot-unit-sim";
inline constexpr DWORD PIPE_BUFFER = 4096;
inline constexpr DWORD CONTROL_TIMEOUT_MS = 5000;
inline constexpr char REPLY_OK = '+';
inline constexpr char REPLY_ERROR = '-';

class RelayServer : private UnitHostListener {
  public:
    explicit RelayServer(ServeOptions options);
    ~RelayServer() override; // unplugs every unit and removes the driver
    RelayServer(const RelayServer&) = delete;
    RelayServer& operator=(const RelayServer&) = delete;

    bool Start(std::string& error);
    // Serves until a "stop" request, or until the driver goes.
    void Run();

  private:
    // Requests of our own kept pending on the relay device, so that several units' requests (or
    // a receive held for a silent unit beside another unit's request) can be passed on at once.
    static constexpr int ASKERS = 4;
    // One pending request of ours on the relay device.
    struct Asker {
        OVERLAPPED overlapped{};
        UnitRelayRequest request{};
    };

    bool OnPlug(const UnitConfig& config, std::string& error) override;
    void OnUnplug(const UnitConfig& config, bool eventShared) override;
    bool CompleteReceive(std::uint64_t ticket, const UnitPacket* answer) override;
    bool IsOwnRequest(const std::string& command) const override;
    std::string AnswerOwnRequest(const std::string& command) override;

    bool Ask(Asker& asker);
    // Completes unit request `id`; false when its caller no longer waits for it.
    bool Answer(std::uint64_t id, bool ok, const std::uint8_t* bytes, std::size_t size);
    void HandleUnitRequest(const UnitRelayRequest& request);
    bool Listen();
    void ServeControlClient();

    UnitHost m_host;
    UnitDriverService m_service;
    HANDLE m_relay = INVALID_HANDLE_VALUE;
    HANDLE m_pipe = INVALID_HANDLE_VALUE;
    OVERLAPPED m_connect{};
    HANDLE m_timer = nullptr; // wakes the server when the host has something to do
    Asker m_askers[ASKERS];
    bool m_stop = false;
};

} // namespace knot::sim
