// A driver port whose units are in-process VirtualUnits that answer at once: the unit host behind
// the DriverPort calls, no sockets, no threads of its own. Tests and benchmarks plug and unplug
// units on it and hand it to the code under test as its DriverPort. Every call is thread-safe.
#pragma once

#include "driver_port.h"
#include "unit_host.h"

#include <condition_variable>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace knot::sim {
using namespace knot::device;

class LoopbackDriverPort : public DriverPort, private UnitHostListener {
  public:
    LoopbackDriverPort();
    ~LoopbackDriverPort() override;

    // Plugs a unit; it gets config.number, or the next free number from 0 when that is
    // NEXT_FREE_NUMBER. Returns the number, or -1 when that number is already plugged.
    std::int32_t Plug(UnitConfig config = {});
    // Removes unit `number` and signals its disconnect event, as the driver does.
    bool Unplug(std::int32_t number);
    std::vector<std::int32_t> PluggedUnits() const;
    // Copies of a plugged unit's memories; empty when no such unit is plugged.
    std::vector<std::uint8_t> CpuMemory(std::int32_t number) const;
    std::vector<std::uint8_t> FlashMemory(std::int32_t number) const;
    // Every packet any unit received or sent, as capture lines ("0 R 0100...").
    std::vector<std::string> CaptureLines() const;
    // When set, each commit writes unit-N-cpu.bin and unit-N-flash.bin there.
    void SetSaveMemoryDirectory(std::string directory);

    PortHandle GetClassDevices() override;
    bool EnumDeviceInterface(PortHandle set, std::uint32_t index) override;
    std::size_t GetInterfaceDetailSize(PortHandle set, std::uint32_t index) override;
    bool GetInterfaceDetail(PortHandle set, std::uint32_t index, std::string& path) override;
    void DestroyDeviceInfoList(PortHandle set) override;
    // The unit's UnitConfig::slot.
    std::string GetInterfaceLocation(PortHandle set, std::uint32_t index) override;

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
    // The machine of this port is the process: a lock is held against every other user of the
    // port, so that a test can hold a unit as another program would.
    UnitLockResult LockUnit(const std::string& devicePath) override;
    void UnlockUnit(PortHandle lock) override;

  private:
    struct EventState {
        bool signalled = false;
    };
    struct Entry; // an open handle: an interface set, a unit's file or an event

    // Called by the host, under m_mutex.
    bool OnPlug(const UnitConfig& config, std::string& error) override;
    void OnUnplug(const UnitConfig& config, bool eventShared) override;

    // The unit behind an open file handle, or -1 when the handle is none or its unit has gone.
    std::int32_t FileUnitLocked(PortHandle handle) const;
    bool ReceiveLocked(std::int32_t number, void* out, std::size_t outSize, std::size_t& returned);
    PortHandle AddLocked(Entry entry);
    // Closes `handle` when it is open and one of `kinds`; anything else is left alone.
    void EraseLocked(PortHandle handle, std::initializer_list<int> kinds);

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    UnitHost m_host; // guarded by m_mutex, as is everything below
    std::map<std::string, std::shared_ptr<EventState>> m_namedEvents;
    std::map<PortHandle, std::shared_ptr<Entry>> m_handles;
    std::map<PortHandle, std::string> m_locks; // each held lock's device path
    PortHandle m_nextHandle = 1;
};

} // namespace knot::sim
