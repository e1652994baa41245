#include "loopback_driver_port.h"

#include "unit_packet.h"

#include <algorithm>
#include <cstring>
#include <deque>

struct LoopbackDriverPort::Slot {
    explicit Slot(UnitConfig config) : unit(std::move(config)) {}
    VirtualUnit unit;
    std::deque<UnitPacket> answers;
    bool plugged = true;
    std::optional<Clock::time_point> unplugAt;
};

struct LoopbackDriverPort::Entry {
    enum class Kind { Set, File, StopEvent, NamedEvent } kind;
    std::vector<std::string> paths;    // Set: the interfaces present when it was made
    std::shared_ptr<Slot> slot;        // File
    std::shared_ptr<EventState> event; // StopEvent, NamedEvent
};

LoopbackDriverPort::LoopbackDriverPort() = default;
LoopbackDriverPort::~LoopbackDriverPort() = default;

std::int32_t LoopbackDriverPort::Plug(UnitConfig config) {
    std::lock_guard lock(m_mutex);
    RunTimersLocked();
    if (config.number == NEXT_FREE_NUMBER) {
        config.number = 0;
        while (FindSlotLocked(config.number))
            ++config.number;
    } else if (FindSlotLocked(config.number)) {
        return -1;
    }
    if (config.hasEvent) {
        auto& event = m_namedEvents[UnitEventName(config)];
        if (!event)
            event = std::make_shared<EventState>();
    }
    const std::int32_t number = config.number;
    m_slots.push_back(std::make_shared<Slot>(std::move(config)));
    m_changed.notify_all();
    return number;
}

bool LoopbackDriverPort::Unplug(std::int32_t number) {
    std::lock_guard lock(m_mutex);
    RunTimersLocked();
    return UnplugLocked(number);
}

bool LoopbackDriverPort::UnplugLocked(std::int32_t number) {
    const auto it = std::find_if(m_slots.begin(), m_slots.end(), [&](const auto& slot) {
        return slot->unit.Config().number == number;
    });
    if (it == m_slots.end())
        return false;
    const std::shared_ptr<Slot> slot = *it;
    m_slots.erase(it);
    slot->plugged = false;
    slot->answers.clear();
    const UnitConfig& config = slot->unit.Config();
    if (config.hasEvent) {
        const std::string name = UnitEventName(config);
        const auto event = m_namedEvents.find(name);
        if (event != m_namedEvents.end()) {
            event->second->signalled = true;
            // Another unit that reports no number shares the name; it keeps an unsignalled event.
            const bool shared = std::any_of(m_slots.begin(), m_slots.end(), [&](const auto& other) {
                return other->unit.Config().hasEvent && UnitEventName(other->unit.Config()) == name;
            });
            if (shared)
                event->second = std::make_shared<EventState>();
            else
                m_namedEvents.erase(event);
        }
    }
    m_changed.notify_all();
    return true;
}

void LoopbackDriverPort::RunTimersLocked() {
    const auto now = Clock::now();
    std::vector<std::int32_t> due;
    for (const auto& slot : m_slots) {
        if (slot->unplugAt && *slot->unplugAt <= now)
            due.push_back(slot->unit.Config().number);
    }
    for (std::int32_t number : due)
        UnplugLocked(number);
}

std::shared_ptr<LoopbackDriverPort::Slot>
LoopbackDriverPort::FindSlotLocked(std::int32_t number) const {
    for (const auto& slot : m_slots) {
        if (slot->unit.Config().number == number)
            return slot;
    }
    return nullptr;
}

std::vector<std::int32_t> LoopbackDriverPort::PluggedUnits() const {
    std::lock_guard lock(m_mutex);
    std::vector<std::int32_t> numbers;
    for (const auto& slot : m_slots)
        numbers.push_back(slot->unit.Config().number);
    return numbers;
}

std::vector<std::uint8_t> LoopbackDriverPort::CpuMemory(std::int32_t number) const {
    std::lock_guard lock(m_mutex);
    const auto slot = FindSlotLocked(number);
    if (!slot)
        return {};
    const auto memory = slot->unit.CpuMemory();
    return {memory.begin(), memory.end()};
}

std::vector<std::uint8_t> LoopbackDriverPort::FlashMemory(std::int32_t number) const {
    std::lock_guard lock(m_mutex);
    const auto slot = FindSlotLocked(number);
    if (!slot)
        return {};
    const auto memory = slot->unit.FlashMemory();
    return {memory.begin(), memory.end()};
}

std::vector<std::string> LoopbackDriverPort::CaptureLines() const {
    std::lock_guard lock(m_mutex);
    return m_capture;
}

void LoopbackDriverPort::SetSaveMemoryDirectory(std::string directory) {
    std::lock_guard lock(m_mutex);
    m_saveDirectory = std::move(directory);
}

PortHandle LoopbackDriverPort::AddLocked(Entry entry) {
    const PortHandle handle = m_nextHandle++;
    m_handles.emplace(handle, std::make_shared<Entry>(std::move(entry)));
    return handle;
}

PortHandle LoopbackDriverPort::GetClassDevices() {
    std::lock_guard lock(m_mutex);
    RunTimersLocked();
    Entry entry{Entry::Kind::Set, {}, nullptr, nullptr};
    for (const auto& slot : m_slots)
        entry.paths.push_back(UnitDevicePath(slot->unit.Config()));
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

void LoopbackDriverPort::DestroyDeviceInfoList(PortHandle set) {
    std::lock_guard lock(m_mutex);
    const auto it = m_handles.find(set);
    if (it != m_handles.end() && it->second->kind == Entry::Kind::Set)
        m_handles.erase(it);
}

PortHandle LoopbackDriverPort::CreateFile(const std::string& path) {
    std::lock_guard lock(m_mutex);
    RunTimersLocked();
    for (const auto& slot : m_slots) {
        if (UnitDevicePath(slot->unit.Config()) == path)
            return AddLocked(Entry{Entry::Kind::File, {}, slot, nullptr});
    }
    return INVALID_PORT_HANDLE;
}

bool LoopbackDriverPort::DeviceIoControl(PortHandle handle, std::uint32_t code, const void* in,
                                         std::size_t inSize, void* out, std::size_t outSize,
                                         std::size_t& returned) {
    std::lock_guard lock(m_mutex);
    RunTimersLocked();
    returned = 0;
    const auto it = m_handles.find(handle);
    if (it == m_handles.end() || it->second->kind != Entry::Kind::File)
        return false;
    const std::shared_ptr<Slot> slot = it->second->slot;
    if (!slot->plugged)
        return false;
    const UnitConfig& config = slot->unit.Config();

    switch (code) {
    case IOCTL_UNIT_SEND: {
        if (in == nullptr || inSize == 0)
            return false;
        const std::span packet(static_cast<const std::uint8_t*>(in), inSize);
        m_capture.push_back(FormatCaptureLine(config.number, 'R', packet));
        UnitReaction reaction = slot->unit.Receive(packet);
        for (UnitPacket& answer : reaction.answers) {
            m_capture.push_back(FormatCaptureLine(config.number, 'S', answer));
            slot->answers.push_back(std::move(answer));
        }
        if (reaction.committed && !m_saveDirectory.empty())
            slot->unit.SaveMemory(m_saveDirectory);
        if (reaction.unplugAfterMs >= 0)
            slot->unplugAt = Clock::now() + std::chrono::milliseconds(reaction.unplugAfterMs);
        if (reaction.unplugNow)
            UnplugLocked(config.number);
        return true;
    }
    case IOCTL_UNIT_RECEIVE: {
        // Nothing queued means the unit will not answer: the read fails at once.
        if (slot->answers.empty() || out == nullptr || outSize < slot->answers.front().size())
            return false;
        const UnitPacket answer = std::move(slot->answers.front());
        slot->answers.pop_front();
        std::memcpy(out, answer.data(), answer.size());
        returned = answer.size();
        return true;
    }
    case IOCTL_UNIT_GET_DESCRIPTOR: {
        if (!config.hasDescriptor || out == nullptr || outSize < DEVICE_DESCRIPTOR_SIZE)
            return false;
        const auto descriptor = UnitDescriptor(config);
        std::memcpy(out, descriptor.data(), descriptor.size());
        returned = descriptor.size();
        return true;
    }
    case IOCTL_UNIT_GET_DEVICE_NUMBER: {
        if (!config.hasNumber || out == nullptr || outSize < sizeof(std::int32_t))
            return false;
        const auto number = static_cast<std::uint32_t>(config.number);
        const std::uint8_t bytes[4] = {
            static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(number >> 8),
            static_cast<std::uint8_t>(number >> 16), static_cast<std::uint8_t>(number >> 24)};
        std::memcpy(out, bytes, sizeof bytes);
        returned = sizeof bytes;
        return true;
    }
    default:
        return false;
    }
}

void LoopbackDriverPort::CloseHandle(PortHandle handle) {
    std::lock_guard lock(m_mutex);
    const auto it = m_handles.find(handle);
    if (it != m_handles.end() && it->second->kind == Entry::Kind::File)
        m_handles.erase(it);
}

PortHandle LoopbackDriverPort::CreateStopEvent() {
    std::lock_guard lock(m_mutex);
    return AddLocked(Entry{Entry::Kind::StopEvent, {}, nullptr, std::make_shared<EventState>()});
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
    RunTimersLocked();
    const auto it = m_namedEvents.find(name);
    if (it == m_namedEvents.end())
        return INVALID_PORT_HANDLE;
    return AddLocked(Entry{Entry::Kind::NamedEvent, {}, nullptr, it->second});
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
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    for (;;) {
        RunTimersLocked();
        if (stopState->signalled) {
            stopState->signalled = false; // auto-reset
            return WaitOutcome::Stop;
        }
        if (namedState->signalled)
            return WaitOutcome::Disconnected;
        auto wakeAt = timeoutMs < 0 ? Clock::time_point::max() : deadline;
        if (timeoutMs >= 0 && Clock::now() >= deadline)
            return WaitOutcome::TimedOut;
        for (const auto& slot : m_slots) {
            if (slot->unplugAt)
                wakeAt = std::min(wakeAt, *slot->unplugAt);
        }
        if (wakeAt == Clock::time_point::max())
            m_changed.wait(lock);
        else
            m_changed.wait_until(lock, wakeAt);
    }
}

void LoopbackDriverPort::CloseEvent(PortHandle event) {
    std::lock_guard lock(m_mutex);
    const auto it = m_handles.find(event);
    if (it != m_handles.end() &&
        (it->second->kind == Entry::Kind::StopEvent || it->second->kind == Entry::Kind::NamedEvent))
        m_handles.erase(it);
}
