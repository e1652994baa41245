// The fuzz targets' simulated world: interfaces, units and their scripted answers, events.
#include "world_port.h"

#include "device_link.h"
#include "narration.h"

#include <algorithm>
#include <cstring>

namespace knot::fuzz {
using namespace knot::device;

namespace {
constexpr std::uint8_t DATA_BLOCK_MARK = 0x24; // byte 9 of a data block
constexpr std::uint8_t CPU_TYPE_NIBBLE = 0x1;
} // namespace

int WorldPort::AddInterface(UnitConfig config) {
    WorldInterface added;
    added.config = std::move(config);
    m_interfaces.push_back(std::move(added));
    AddEvent(m_interfaces.back().config);
    Changed();
    return InterfaceCount() - 1;
}

void WorldPort::Unplug(int interface) {
    WorldInterface& unit = m_interfaces[interface];
    if (!unit.present) {
        return;
    }
    unit.present = false;
    unit.queue.clear();
    Narrate("world: interface %d unplugged", interface);
    auto event = m_namedEvents.find(UnitEventName(unit.config));
    if (unit.config.hasEvent && event != m_namedEvents.end()) {
        event->second->signalled = true; // as the driver does; the name goes with the unit
        // Units that report no number share one name: the others keep an unsignalled event.
        const bool shared =
            std::any_of(m_interfaces.begin(), m_interfaces.end(), [&](const WorldInterface& other) {
                return other.present && other.config.hasEvent &&
                       UnitEventName(other.config) == event->first;
            });
        if (shared) {
            event->second = std::make_shared<Event>();
        } else {
            m_namedEvents.erase(event);
        }
    }
    Changed();
}

void WorldPort::Replug(int interface) {
    WorldInterface& unit = m_interfaces[interface];
    if (unit.present) {
        return;
    }
    unit.present = true;
    ++unit.plugs;
    Narrate("world: interface %d plugged in again", interface);
    AddEvent(unit.config);
    Changed();
}

void WorldPort::AddEvent(const UnitConfig& config) {
    if (config.hasEvent && !m_namedEvents.count(UnitEventName(config))) {
        m_namedEvents[UnitEventName(config)] = std::make_shared<Event>();
    }
}

int WorldPort::PresentCount() const {
    return static_cast<int>(std::count_if(m_interfaces.begin(), m_interfaces.end(),
                                          [](const WorldInterface& i) { return i.present; }));
}

void WorldPort::BeginTurn() {
    m_inTurn = true;
    m_looks = 0;
    m_turnVersion = m_version;
    m_turnHandles.clear();
}

void WorldPort::EndTurn(bool unwound) {
    m_inTurn = false;
    if (unwound) {
        for (PortHandle handle : m_turnHandles) {
            m_handles.erase(handle); // what the turn would have closed after its wait
        }
    }
    m_turnHandles.clear();
}

int WorldPort::OpenFiles() const {
    return static_cast<int>(std::count_if(m_handles.begin(), m_handles.end(), [](const auto& h) {
        return h.second.kind == Handle::File;
    }));
}

int WorldPort::OpenSets() const {
    return static_cast<int>(std::count_if(m_handles.begin(), m_handles.end(), [](const auto& h) {
        return h.second.kind == Handle::Set;
    }));
}

PortHandle WorldPort::Add(Handle handle) {
    PortHandle number = m_next++;
    m_handles.emplace(number, std::move(handle));
    if (m_inTurn) {
        m_turnHandles.push_back(number);
    }
    return number;
}

WorldPort::Handle* WorldPort::Find(PortHandle handle, Handle::Kind kind) {
    auto found = m_handles.find(handle);
    return found != m_handles.end() && found->second.kind == kind ? &found->second : nullptr;
}

PortHandle WorldPort::GetClassDevices() {
    // A worker that looks again at a world that has not changed would only spin.
    if (m_inTurn && ++m_looks > 1 && m_version == m_turnVersion) {
        throw WorkerWouldBlock{};
    }
    Handle set{Handle::Set, -1, 0, {}, {}};
    for (int i = 0; i < InterfaceCount(); ++i) {
        if (m_interfaces[i].present) {
            set.listing.push_back(i);
        }
    }
    return Add(std::move(set));
}

const WorldInterface* WorldPort::InSet(PortHandle set, std::uint32_t index) {
    Handle* found = Find(set, Handle::Set);
    if (!found || index >= found->listing.size()) {
        return nullptr;
    }
    return &m_interfaces[found->listing[index]];
}

bool WorldPort::EnumDeviceInterface(PortHandle set, std::uint32_t index) {
    return InSet(set, index) != nullptr;
}

std::size_t WorldPort::GetInterfaceDetailSize(PortHandle set, std::uint32_t index) {
    const WorldInterface* unit = InSet(set, index);
    return unit && !unit->pathUnreadable ? UnitDevicePath(unit->config).size() + 1 : 0;
}

bool WorldPort::GetInterfaceDetail(PortHandle set, std::uint32_t index, std::string& path) {
    const WorldInterface* unit = InSet(set, index);
    if (!unit || unit->pathUnreadable) {
        return false;
    }
    path = UnitDevicePath(unit->config);
    return true;
}

void WorldPort::DestroyDeviceInfoList(PortHandle set) {
    if (Find(set, Handle::Set)) {
        m_handles.erase(set);
    }
}

PortHandle WorldPort::CreateFile(const std::string& path) {
    for (int i = 0; i < InterfaceCount(); ++i) {
        const WorldInterface& unit = m_interfaces[i];
        if (unit.present && !unit.openFails && UnitDevicePath(unit.config) == path) {
            return Add({Handle::File, i, unit.plugs, {}, {}});
        }
    }
    return INVALID_PORT_HANDLE;
}

bool WorldPort::DeviceIoControl(PortHandle handle, std::uint32_t code, const void* in,
                                std::size_t inSize, void* out, std::size_t outSize,
                                std::size_t& returned) {
    returned = 0;
    if (code == IOCTL_UNIT_SEND || code == IOCTL_UNIT_RECEIVE) {
        ++m_exchanges;
    }
    Handle* file = Find(handle, Handle::File);
    if (!file) {
        return false;
    }
    WorldInterface& unit = m_interfaces[file->interface];
    if (!unit.present || unit.plugs != file->plug) {
        return false; // the handle of a unit that has gone
    }
    switch (code) {
    case IOCTL_UNIT_SEND:
        return Send(file->interface, static_cast<const std::uint8_t*>(in), inSize);
    case IOCTL_UNIT_RECEIVE:
        return Receive(file->interface, static_cast<std::uint8_t*>(out), outSize, returned);
    case IOCTL_UNIT_GET_DESCRIPTOR: {
        if (!unit.config.hasDescriptor || outSize < DEVICE_DESCRIPTOR_SIZE) {
            return false;
        }
        auto descriptor = UnitDescriptor(unit.config);
        std::memcpy(out, descriptor.data(), descriptor.size());
        returned = descriptor.size();
        return true;
    }
    case IOCTL_UNIT_GET_DEVICE_NUMBER:
        if (!unit.config.hasNumber || outSize < sizeof(std::int32_t)) {
            return false;
        }
        std::memcpy(out, &unit.config.number, sizeof(std::int32_t));
        returned = sizeof(std::int32_t);
        return true;
    default:
        return false;
    }
}

bool WorldPort::Send(int interface, const std::uint8_t* bytes, std::size_t length) {
    std::vector<std::uint8_t> packet(bytes, bytes + length);
    WorldReaction reaction = m_reactor(interface, packet);
    Narrate("unit %d receives code %04X: %s, %zu answers queued", interface,
            PacketCommandCode(packet.data()), reaction.vanishBeforeSend ? "vanishes" : "taken",
            reaction.items.size());
    WorldInterface& unit = m_interfaces[interface];
    m_packets.push_back({interface, packet, !reaction.vanishBeforeSend, false, false, 0});
    if (reaction.vanishBeforeSend) {
        Unplug(interface);
        return false;
    }
    // A new command: whatever the unit had still queued for the last one is dropped.
    unit.queue.assign(reaction.items.begin(), reaction.items.end());
    auto real = std::find_if(reaction.items.begin(), reaction.items.end(),
                             [](const AnswerItem& item) { return item.real; });
    if (real != reaction.items.end() && (real->status & STATUS_MASK) == STATUS_ACCEPTED &&
        length > PACKET_DATA_OFFSET + DATA_BLOCK_SIZE && packet[9] == DATA_BLOCK_MARK) {
        std::uint32_t number = 0;
        for (std::size_t i = 0; i < 4; ++i) {
            number = (number << 8) | packet[PACKET_PARAMETER_OFFSET + i];
        }
        std::array<std::uint8_t, DATA_BLOCK_SIZE> block;
        std::memcpy(block.data(), packet.data() + PACKET_DATA_OFFSET, DATA_BLOCK_SIZE);
        auto& memory = (packet[PACKET_CODE_LOW_OFFSET] >> 4) == CPU_TYPE_NIBBLE ? unit.cpuBlocks
                                                                                : unit.flashBlocks;
        memory[number] = block;
    }
    return true;
}

bool WorldPort::Receive(int interface, std::uint8_t* out, std::size_t capacity,
                        std::size_t& returned) {
    WorldInterface& unit = m_interfaces[interface];
    PacketRecord* record = nullptr;
    for (auto it = m_packets.rbegin(); it != m_packets.rend(); ++it) {
        if (it->interface == interface) {
            record = &*it;
            break;
        }
    }
    if (record) {
        ++record->receives;
    }
    if (unit.queue.empty()) {
        Narrate("  read: silence");
        return false; // silence
    }
    AnswerItem item = unit.queue.front();
    unit.queue.pop_front();
    Narrate("  read: %s code %04X status %02X size %zu%s",
            item.kind == AnswerItem::Answer ? "answer"
            : item.kind == AnswerItem::Fail ? "failed"
                                            : "vanish",
            item.code, item.status, item.size, item.real ? " (its own)" : "");
    if (item.kind == AnswerItem::Vanish) {
        Unplug(interface);
        return false;
    }
    if (item.kind == AnswerItem::Fail) {
        return false;
    }
    std::size_t size = item.size ? item.size : unit.config.packetSize;
    size = std::min(size, capacity);
    std::memset(out, 0, size);
    const std::uint8_t header[] = {0x01, 0x00, 0x70, 0x00, 0x30};
    std::memcpy(out, header, std::min(size, sizeof header));
    if (size > PACKET_CODE_LOW_OFFSET) {
        out[PACKET_CODE_HIGH_OFFSET] =
            static_cast<std::uint8_t>((item.status & STATUS_MASK) | ((item.code >> 8) & 0x3F));
        out[PACKET_CODE_LOW_OFFSET] = static_cast<std::uint8_t>(item.code & 0xFF);
    }
    for (std::size_t i = 0; i < item.payload.size() && PACKET_PARAMETER_OFFSET + i < size; ++i) {
        out[PACKET_PARAMETER_OFFSET + i] = item.payload[i];
    }
    returned = size;
    if (item.real && record) {
        record->answered = true;
        record->accepted = (item.status & STATUS_MASK) == STATUS_ACCEPTED;
    }
    return true;
}

void WorldPort::CloseHandle(PortHandle handle) {
    if (Find(handle, Handle::File)) {
        m_handles.erase(handle);
    }
}

PortHandle WorldPort::CreateStopEvent() {
    return Add({Handle::StopEvent, -1, 0, {}, std::make_shared<Event>()});
}

bool WorldPort::SetEvent(PortHandle event) {
    Handle* stop = Find(event, Handle::StopEvent);
    Narrate("stop event %lu set%s", static_cast<unsigned long>(event), stop ? "" : " (not open)");
    if (!stop) {
        return false;
    }
    stop->event->signalled = true;
    Changed();
    if (onStopSignalled) {
        onStopSignalled();
    }
    return true;
}

PortHandle WorldPort::OpenNamedEvent(const std::string& name) {
    auto found = m_namedEvents.find(name);
    if (found == m_namedEvents.end()) {
        return INVALID_PORT_HANDLE;
    }
    return Add({Handle::NamedEvent, -1, 0, {}, found->second});
}

WaitOutcome WorldPort::WaitForStopOrEvent(PortHandle stopEvent, PortHandle namedEvent,
                                          int timeoutMs) {
    Handle* stop = Find(stopEvent, Handle::StopEvent);
    Handle* named = Find(namedEvent, Handle::NamedEvent);
    if (!stop || !named) {
        return WaitOutcome::Failed;
    }
    if (stop->event->signalled) {
        stop->event->signalled = false; // auto-reset
        return WaitOutcome::Stop;
    }
    if (named->event->signalled) {
        return WaitOutcome::Disconnected;
    }
    if (m_inTurn && timeoutMs < 0) {
        throw WorkerWouldBlock{};
    }
    return WaitOutcome::TimedOut;
}

void WorldPort::CloseEvent(PortHandle event) {
    if (Find(event, Handle::StopEvent) || Find(event, Handle::NamedEvent)) {
        m_handles.erase(event);
    }
}

} // namespace knot::fuzz
