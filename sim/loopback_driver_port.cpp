#include "loopback_driver_port.h"

#include <algorithm>
#include <cstring>

namespace knot::sim {
struct LoopbackDriverPort::Entry {
    enum class Kind { Set, File, StopEvent, NamedEvent } kind;
    std::vector<std::string> paths;    // Set: the interfaces present when it was made
    std::vector<std::string> slots;    // Set: each one's slot, "" for none
    std::int32_t unit = -1;            // File: the unit's number
    bool unplugged = false;            // File: the unit has gone, the handle fails
    std::shared_ptr<EventState> event; // StopEvent, NamedEvent
};

LoopbackDriverPort::LoopbackDriverPort() : m_host(*this, ServeOptions{}) {
    m_host.KeepCaptureLines();
}

LoopbackDriverPort::~LoopbackDriverPort() = default;

std::int32_t LoopbackDriverPort::Plug(UnitConfig config) {
    std::lock_guard lock(m_mutex);
    m_host.RunTimers();
    std::string error;
    const std::int32_t number = m_host.Plug(std::move(config), error);
    if (number >= 0)
        m_changed.notify_all();
    return number;
}

bool LoopbackDriverPort::Unplug(std::int32_t number) {
    std::lock_guard lock(m_mutex);
    m_host.RunTimers();
    return m_host.Unplug(number);
}

bool LoopbackDriverPort::OnPlug(const UnitConfig& config, std::string&) {
    if (config.hasEvent) {
        auto& event = m_namedEvents[UnitEventName(config)];
        if (!event)
            event = std::make_shared<EventState>();
    }
    return true;
}

void LoopbackDriverPort::OnUnplug(const UnitConfig& config, bool eventShared) {
    for (const auto& [handle, entry] : m_handles) {
        if (entry->kind == Entry::Kind::File && entry->unit == config.number)
            entry->unplugged = true;
    }
    const auto event =
        config.hasEvent ? m_namedEvents.find(UnitEventName(config)) : m_namedEvents.end();
    if (event != m_namedEvents.end()) {
        event->second->signalled = true;
        // Another unit that reports no number shares the name; it keeps an unsignalled event.
        if (eventShared)
            event->second = std::make_shared<EventState>();
        else
            m_namedEvents.erase(event);
    }
    m_changed.notify_all();
}

std::vector<std::int32_t> LoopbackDriverPort::PluggedUnits() const {
    std::lock_guard lock(m_mutex);
    return m_host.PluggedUnits();
}

std::vector<std::uint8_t> LoopbackDriverPort::CpuMemory(std::int32_t number) const {
    std::lock_guard lock(m_mutex);
    const VirtualUnit* unit = m_host.FindUnit(number);
    if (unit == nullptr)
        return {};
    const auto memory = unit->CpuMemory();
    return {memory.begin(), memory.end()};
}

std::vector<std::uint8_t> LoopbackDriverPort::FlashMemory(std::int32_t number) const {
    std::lock_guard lock(m_mutex);
    const VirtualUnit* unit = m_host.FindUnit(number);
    if (unit == nullptr)
        return {};
    const auto memory = unit->FlashMemory();
    return {memory.begin(), memory.end()};
}

std::vector<std::string> LoopbackDriverPort::CaptureLines() const {
    std::lock_guard lock(m_mutex);
    return m_host.CaptureLines();
}

void LoopbackDriverPort::SetSaveMemoryDirectory(std::string directory) {
    std::lock_guard lock(m_mutex);
    m_host.SetSaveMemoryFolder(std::move(directory));
}

PortHandle LoopbackDriverPort::AddLocked(Entry entry) {
    const PortHandle handle = m_nextHandle++;
    m_handles.emplace(handle, std::make_shared<Entry>(std::move(entry)));
    return handle;
}

void LoopbackDriverPort::EraseLocked(PortHandle handle, std::initializer_list<int> kinds) {
    const auto it = m_handles.find(handle);
    if (it != m_handles.end() &&
        std::find(kinds.begin(), kinds.end(), static_cast<int>(it->second->kind)) != kinds.end())
        m_handles.erase(it);
}

PortHandle LoopbackDriverPort::GetClassDevices() {
    std::lock_guard lock(m_mutex);
    m_host.RunTimers();
    Entry entry{Entry::Kind::Set, {}, {}, -1, false, nullptr};
    for (std::int32_t number : m_host.PluggedUnits()) {
        const UnitConfig& config = m_host.FindUnit(number)->Config();
        entry.paths.push_back(UnitDevicePath(config));
        entry.slots.push_back(config.slot);
    }
    return AddLocked(std::move(entry));
}

bool LoopbackDriverPort::EnumDeviceInterface(PortHandle set, std::uint32_t index) {
    std::string path;
    return GetInterfaceDetail(set, index, path);
}

std::size_t LoopbackDriverPort::GetInterfaceDetailSize(PortHandle set, std::uint32_t index) {
    std::string path;
    return GetInterfaceDetail(set, index, path) ? path.size() + 1 : 0;
}

bool LoopbackDriverPort::GetInterfaceDetail(PortHandle set, std::uint32_t index,
                                            std::string& path) {
    std::lock_guard lock(m_mutex);
    const auto it = m_handles.find(set);
    if (it == m_handles.end() || it->second->kind != Entry::Kind::Set ||
        index >= it->second->paths.size())
        return false;
    path = it->second->paths[index];
    return true;
}

std::string LoopbackDriverPort::GetInterfaceLocation(PortHandle set, std::uint32_t index) {
    std::lock_guard lock(m_mutex);
    const auto it = m_handles.find(set);
    if (it == m_handles.end() || it->second->kind != Entry::Kind::Set ||
        index >= it->second->slots.size())
        return "";
    return it->second->slots[index];
}

void LoopbackDriverPort::DestroyDeviceInfoList(PortHandle set) {
    std::lock_guard lock(m_mutex);
    EraseLocked(set, {static_cast<int>(Entry::Kind::Set)});
}

PortHandle LoopbackDriverPort::CreateFile(const std::string& path) {
    std::lock_guard lock(m_mutex);
    m_host.RunTimers();
    for (std::int32_t number : m_host.PluggedUnits()) {
        if (UnitDevicePath(m_host.FindUnit(number)->Config()) == path)
            return AddLocked(Entry{Entry::Kind::File, {}, {}, number, false, nullptr});
    }
    return INVALID_PORT_HANDLE;
}

std::int32_t LoopbackDriverPort::FileUnitLocked(PortHandle handle) const {
    const auto it = m_handles.find(handle);
    if (it == m_handles.end() || it->second->kind != Entry::Kind::File || it->second->unplugged)
        return -1;
    return it->second->unit;
}

bool LoopbackDriverPort::DeviceIoControl(PortHandle handle, std::uint32_t code, const void* in,
                                         std::size_t inSize, void* out, std::size_t outSize,
                                         std::size_t& returned) {
    std::lock_guard lock(m_mutex);
    m_host.RunTimers();
    returned = 0;
    const std::int32_t number = FileUnitLocked(handle);
    if (number < 0)
        return false;
    if (code == IOCTL_UNIT_SEND) {
        if (in == nullptr || inSize == 0)
            return false;
        if (m_host.Send(number, std::span(static_cast<const std::uint8_t*>(in), inSize)))
            m_host.Unplug(number);
        // The packet may have set the unit's unplug timer: a waiting watcher takes its deadline.
        m_changed.notify_all();
        return true;
    }
    if (code == IOCTL_UNIT_RECEIVE)
        return ReceiveLocked(number, out, outSize, returned);
    // The descriptor and the device number.
    const auto fact = m_host.ReadFact(number, code);
    if (!fact || out == nullptr || outSize < fact->size())
        return false;
    std::memcpy(out, fact->data(), fact->size());
    returned = fact->size();
    return true;
}

bool LoopbackDriverPort::ReceiveLocked(std::int32_t number, void* out, std::size_t outSize,
                                       std::size_t& returned) {
    // Nothing queued means the unit will not answer: the read fails at once.
    const UnitPacket* answer = m_host.ReadyAnswer(number);
    if (answer == nullptr || out == nullptr || outSize < answer->size())
        return false;
    std::memcpy(out, answer->data(), answer->size());
    returned = answer->size();
    m_host.DropAnswer(number);
    return true;
}

void LoopbackDriverPort::CloseHandle(PortHandle handle) {
    std::lock_guard lock(m_mutex);
    EraseLocked(handle, {static_cast<int>(Entry::Kind::File)});
}

PortHandle LoopbackDriverPort::CreateStopEvent() {
    std::lock_guard lock(m_mutex);
    return AddLocked(
        Entry{Entry::Kind::StopEvent, {}, {}, -1, false, std::make_shared<EventState>()});
}

bool LoopbackDriverPort::SetEvent(PortHandle event) {
    std::lock_guard lock(m_mutex);
    const auto it = m_handles.find(event);
    // The driver's event is opened for waiting only, so only our own stop event can be set.
    if (it == m_handles.end() || it->second->kind != Entry::Kind::StopEvent)
        return false;
    it->second->event->signalled = true;
    m_changed.notify_all();
    return true;
}

PortHandle LoopbackDriverPort::OpenNamedEvent(const std::string& name) {
    std::lock_guard lock(m_mutex);
    m_host.RunTimers();
    const auto it = m_namedEvents.find(name);
    if (it == m_namedEvents.end())
        return INVALID_PORT_HANDLE;
    return AddLocked(Entry{Entry::Kind::NamedEvent, {}, {}, -1, false, it->second});
}

WaitOutcome LoopbackDriverPort::WaitForStopOrEvent(PortHandle stopEvent, PortHandle namedEvent,
                                                   int timeoutMs) {
    std::unique_lock lock(m_mutex);
    const auto stop = m_handles.find(stopEvent);
    const auto named = m_handles.find(namedEvent);
    if (stop == m_handles.end() || stop->second->kind != Entry::Kind::StopEvent ||
        named == m_handles.end() || named->second->kind != Entry::Kind::NamedEvent)
        return WaitOutcome::Failed;
    // Hold the states themselves: the handles may be closed by another thread after the wait.
    const std::shared_ptr<EventState> stopState = stop->second->event;
    const std::shared_ptr<EventState> namedState = named->second->event;
    using Clock = UnitHost::Clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    for (;;) {
        m_host.RunTimers();
        if (stopState->signalled) {
            stopState->signalled = false; // auto-reset
            return WaitOutcome::Stop;
        }
        if (namedState->signalled)
            return WaitOutcome::Disconnected;
        auto wakeAt = timeoutMs < 0 ? Clock::time_point::max() : deadline;
        if (timeoutMs >= 0 && Clock::now() >= deadline)
            return WaitOutcome::TimedOut;
        if (const auto next = m_host.NextDeadline())
            wakeAt = std::min(wakeAt, *next); // a unit's unplug timer
        if (wakeAt == Clock::time_point::max())
            m_changed.wait(lock);
        else
            m_changed.wait_until(lock, wakeAt);
    }
}

void LoopbackDriverPort::CloseEvent(PortHandle event) {
    std::lock_guard lock(m_mutex);
    EraseLocked(event, {static_cast<int>(Entry::Kind::StopEvent),
                        static_cast<int>(Entry::Kind::NamedEvent)});
}

UnitLockResult LoopbackDriverPort::LockUnit(const std::string& devicePath) {
    std::lock_guard lock(m_mutex);
    for (const auto& [handle, path] : m_locks) {
        if (path == devicePath)
            return {LockOutcome::Busy, INVALID_PORT_HANDLE, {}};
    }
    const PortHandle handle = m_nextHandle++;
    m_locks[handle] = devicePath;
    return {LockOutcome::Held, handle, {}};
}

void LoopbackDriverPort::UnlockUnit(PortHandle held) {
    std::lock_guard lock(m_mutex);
    m_locks.erase(held);
}

} // namespace knot::sim
