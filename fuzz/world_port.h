// The simulated world of the fuzz targets behind the DriverPort: interfaces that come and go, and
// units whose every answer the harness chooses. One thread: a worker's turn that would block
// (an unsignalled wait, a second look at an unchanged listing) is unwound with WorkerWouldBlock
// and taken again once the world has changed. What each unit was sent and answered is kept, so
// that the checker knows what happened.
#pragma once

#include "driver_port.h"
#include "packet_protocol.h"
#include "unit_config.h"

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace knot::fuzz {
using namespace knot::device;
using namespace knot::sim;

// Thrown out of a worker's turn that would wait for a change of the world.
struct WorkerWouldBlock {};

// One receive the unit has queued after a packet.
struct AnswerItem {
    enum Kind {
        Fail,   // the read fails, as a read that timed out
        Answer, // a response of `size` bytes carrying `code` and `status`
        Vanish, // the unit is unplugged before this read, which fails
    } kind = Fail;
    CommandCode code = 0;
    std::uint8_t status = STATUS_ACCEPTED; // byte 10, bits 7-6
    std::size_t size = 0;                  // 0: the unit's packet size
    bool real = false;                     // the unit's answer to the packet itself
    std::vector<std::uint8_t> payload;     // from byte 14 on (an identity value)
};

// How a unit takes one packet.
struct WorldReaction {
    bool vanishBeforeSend = false; // the unit is gone: the send fails
    std::vector<AnswerItem> items; // what its next receives deliver, then silence
};

// What happened to one packet the tool sent.
struct PacketRecord {
    int interface = 0;
    std::vector<std::uint8_t> bytes;
    bool sent = false;     // the driver took it
    bool answered = false; // the unit's own answer was read before the next packet went out
    bool accepted = false; // ... and it accepted the packet
    int receives = 0;      // reads made between this packet and the next
};

struct WorldInterface {
    UnitConfig config;
    bool present = true;
    bool openFails = false;
    bool pathUnreadable = false;
    int plugs = 1; // how often it has been plugged in, so handles of an earlier plug are dead
    // The data blocks the unit accepted, by block number: types 0x1N are CPU blocks, 0x2N flash.
    std::map<std::uint32_t, std::array<std::uint8_t, DATA_BLOCK_SIZE>> cpuBlocks;
    std::map<std::uint32_t, std::array<std::uint8_t, DATA_BLOCK_SIZE>> flashBlocks;
    std::deque<AnswerItem> queue;
};

class WorldPort : public DriverPort {
  public:
    // Asked for every packet a unit receives.
    using Reactor = std::function<WorldReaction(int interface, const std::vector<std::uint8_t>&)>;
    explicit WorldPort(Reactor reactor) : m_reactor(std::move(reactor)) {}

    // The world's changes. Each bumps the version, which wakes blocked workers.
    int AddInterface(UnitConfig config);
    void Unplug(int interface);
    void Replug(int interface);
    WorldInterface& Interface(int interface) { return m_interfaces[interface]; }
    int InterfaceCount() const { return static_cast<int>(m_interfaces.size()); }
    int PresentCount() const;
    std::uint64_t Version() const { return m_version; }

    // A worker's turn: the port tells blocking from progress, and closes what an unwound turn
    // opened.
    void BeginTurn();
    void EndTurn(bool unwound);

    const std::vector<PacketRecord>& Packets() const { return m_packets; }
    std::uint64_t Exchanges() const { return m_exchanges; } // sends and receives issued
    int OpenFiles() const;
    int OpenSets() const;

    PortHandle GetClassDevices() override;
    bool EnumDeviceInterface(PortHandle set, std::uint32_t index) override;
    std::size_t GetInterfaceDetailSize(PortHandle set, std::uint32_t index) override;
    bool GetInterfaceDetail(PortHandle set, std::uint32_t index, std::string& path) override;
    void DestroyDeviceInfoList(PortHandle set) override;
    PortHandle CreateFile(const std::string& path) override;
    bool DeviceIoControl(PortHandle handle, std::uint32_t code, const void* in, std::size_t inSize,
                         void* out, std::size_t outSize, std::size_t& returned) override;
    void CloseHandle(PortHandle handle) override;
    PortHandle CreateStopEvent() override;
    bool SetEvent(PortHandle event) override;
    PortHandle OpenNamedEvent(const std::string& name) override;
    WaitOutcome WaitForStopOrEvent(PortHandle stopEvent, PortHandle namedEvent,
                                   int timeoutMs) override;
    void CloseEvent(PortHandle event) override;
    UnitLockResult LockUnit(const std::string&) override { return {LockOutcome::Held, 1, {}}; }
    void UnlockUnit(PortHandle) override {}

    // Called when the stop event of a watcher is set, before SetEvent returns (the harness may
    // let the watcher take its turn then, as a thread woken at once would).
    std::function<void()> onStopSignalled;

  private:
    struct Event {
        bool signalled = false;
    };
    struct Handle {
        enum Kind { Set, File, StopEvent, NamedEvent } kind;
        int interface = -1;
        int plug = 0;
        std::vector<int> listing;     // a set: the interfaces present when it was taken
        std::shared_ptr<Event> event; // an event
    };

    Handle* Find(PortHandle handle, Handle::Kind kind);
    const WorldInterface* InSet(PortHandle set, std::uint32_t index);
    bool Send(int interface, const std::uint8_t* bytes, std::size_t length);
    bool Receive(int interface, std::uint8_t* out, std::size_t capacity, std::size_t& returned);
    PortHandle Add(Handle handle);
    // The driver's event of a unit that is plugged in: one per name.
    void AddEvent(const UnitConfig& config);
    void Changed() { ++m_version; }

    Reactor m_reactor;
    std::vector<WorldInterface> m_interfaces;
    std::map<std::string, std::shared_ptr<Event>> m_namedEvents; // of the present units
    std::map<PortHandle, Handle> m_handles;
    PortHandle m_next = 0x100;
    std::uint64_t m_version = 0;
    std::vector<PacketRecord> m_packets;
    std::uint64_t m_exchanges = 0;
    // The turn under way.
    bool m_inTurn = false;
    int m_looks = 0;
    std::uint64_t m_turnVersion = 0;
    std::vector<PortHandle> m_turnHandles;
};

} // namespace knot::fuzz
