#include "virtual_unit.h"

#include "unit_packet.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <utility>

namespace knot::sim {
namespace {

std::uint16_t PacketCode(std::span<const std::uint8_t> packet) {
    return static_cast<std::uint16_t>(
        (packet[PACKET_CODE_HIGH_OFFSET] << 8 | packet[PACKET_CODE_LOW_OFFSET]) &
        COMMAND_CODE_MASK);
}

std::uint32_t PacketParameter(std::span<const std::uint8_t> packet) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
        value = value << 8 | packet[PACKET_PARAMETER_OFFSET + i];
    return value;
}

bool WriteFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
    std::FILE* file = std::fopen(path.string().c_str(), "wb");
    if (file == nullptr)
        return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

} // namespace

VirtualUnit::VirtualUnit(UnitConfig config)
    : m_config(std::move(config)), m_cpuMemory(CPU_REGION_SIZE, CPU_FILL),
      m_flashMemory(FLASH_REGION_SIZE, FLASH_FILL) {}

UnitReaction VirtualUnit::Receive(std::span<const std::uint8_t> packet) {
    UnitReaction reaction;
    // The unit's firmware reads only packets of its own size; anything else goes unanswered.
    if (packet.size() != m_config.packetSize)
        return reaction;

    const std::uint16_t code = PacketCode(packet);
    const std::uint8_t type = packet[PACKET_CODE_LOW_OFFSET];
    Command command = Command::Unknown;
    std::uint32_t triggerValue = 0;
    if ((code & IDENTITY_QUERY_MASK) == QUERY_PROGRAM_NAME ||
        (code & IDENTITY_QUERY_MASK) == QUERY_VERSION ||
        (code & IDENTITY_QUERY_MASK) == QUERY_CHECKSUM) {
        command = Command::Query;
        triggerValue = ++m_queriesReceived;
    } else if (code == PREPARE_COMMAND_CODE) {
        command = Command::Prepare;
    } else if (code == COMMIT_COMMAND_CODE) {
        command = Command::Commit;
    } else if (code == INITIALIZE_COMMAND_CODE) {
        command = Command::Initialize;
    } else if ((code & DATA_BLOCK_CODE_HIGH_MASK) == DATA_BLOCK_CODE_BASE &&
               packet[PACKET_KIND_OFFSET] == DATA_BLOCK_KIND &&
               ((type & BLOCK_TYPE_MODEL_MASK) == BLOCK_TYPE_MODEL_P ||
                (type & BLOCK_TYPE_MODEL_MASK) == BLOCK_TYPE_MODEL_Q) &&
               ((type & BLOCK_TYPE_REGION_MASK) == BLOCK_TYPE_CPU ||
                (type & BLOCK_TYPE_REGION_MASK) == BLOCK_TYPE_FLASH)) {
        command = (type & BLOCK_TYPE_REGION_MASK) == BLOCK_TYPE_CPU ? Command::CpuBlock
                                                                    : Command::FlashBlock;
        triggerValue = PacketParameter(packet);
    }

    if (command == Command::Commit) {
        reaction.committed = true;
        for (const FaultSpec& fault : m_config.faults) {
            if (fault.kind == FaultKind::Unplug && fault.trigger == FaultTrigger::Wait)
                reaction.unplugAfterMs =
                    static_cast<int>(std::min<std::uint32_t>(fault.value, 1u << 30));
        }
    }
    if (FindFault(FaultKind::Unplug, command, triggerValue) != nullptr) {
        reaction.unplugNow = true;
        return reaction;
    }
    if (FindFault(FaultKind::Silent, command, triggerValue) != nullptr)
        return reaction;

    UnitPacket answer;
    const bool refused = command == Command::Unknown ||
                         FindFault(FaultKind::Refuse, command, triggerValue) != nullptr;
    if (refused) {
        answer = MakeAnswer(packet, code, STATUS_REFUSED);
    } else if (command == Command::Commit) {
        return reaction; // the unit starts writing and says nothing
    } else {
        answer = MakeAnswer(packet, code, STATUS_ACCEPTED);
        if (command == Command::Query) {
            const std::uint16_t which = code & IDENTITY_QUERY_MASK;
            if (which == QUERY_CHECKSUM) {
                answer[PACKET_PARAMETER_OFFSET] = static_cast<std::uint8_t>(m_config.checksum >> 8);
                answer[PACKET_PARAMETER_OFFSET + 1] =
                    static_cast<std::uint8_t>(m_config.checksum & 0xFF);
            } else {
                const std::string& text =
                    which == QUERY_PROGRAM_NAME ? m_config.programName : m_config.version;
                std::copy_n(text.begin(), std::min(text.size(), IDENTITY_TEXT_SIZE),
                            answer.begin() + PACKET_PARAMETER_OFFSET);
            }
        } else if (command == Command::CpuBlock || command == Command::FlashBlock) {
            StoreBlock(command, packet);
        }
    }

    for (const FaultSpec& fault : m_config.faults) {
        if (fault.kind != FaultKind::Stale)
            continue;
        // Any code but the real one will do; prepare's unless prepare is what is answered.
        const std::uint16_t other =
            code == PREPARE_COMMAND_CODE ? INITIALIZE_COMMAND_CODE : PREPARE_COMMAND_CODE;
        for (std::uint32_t i = 0; i < fault.value; ++i)
            reaction.answers.push_back(MakeAnswer(packet, other, STATUS_ACCEPTED));
    }
    for (const FaultSpec& fault : m_config.faults) {
        if (fault.kind != FaultKind::WrongSize)
            continue;
        UnitPacket wrong = answer;
        wrong.resize(m_config.packetSize == UNIT_PACKET_SIZE_LONG ? UNIT_PACKET_SIZE_SHORT
                                                                  : UNIT_PACKET_SIZE_LONG);
        for (std::uint32_t i = 0; i < fault.value; ++i)
            reaction.answers.push_back(wrong);
    }
    reaction.answers.push_back(std::move(answer));
    return reaction;
}

const FaultSpec* VirtualUnit::FindFault(FaultKind kind, Command command,
                                        std::uint32_t value) const {
    for (const FaultSpec& fault : m_config.faults) {
        if (fault.kind != kind)
            continue;
        bool hit = false;
        switch (fault.trigger) {
        case FaultTrigger::None:
        case FaultTrigger::Wait: // timed from the commit by the owner, never hit by a packet
            break;
        case FaultTrigger::Prepare:
            hit = command == Command::Prepare;
            break;
        case FaultTrigger::Commit:
            hit = command == Command::Commit;
            break;
        case FaultTrigger::Initialize:
            hit = command == Command::Initialize;
            break;
        case FaultTrigger::Query:
            hit = command == Command::Query && fault.value == value;
            break;
        case FaultTrigger::CpuBlock:
            hit = command == Command::CpuBlock && fault.value == value;
            break;
        case FaultTrigger::FlashBlock:
            hit = command == Command::FlashBlock && fault.value == value;
            break;
        }
        if (hit)
            return &fault;
    }
    return nullptr;
}

UnitPacket VirtualUnit::MakeAnswer(std::span<const std::uint8_t> packet, std::uint16_t code,
                                   std::uint8_t status) const {
    UnitPacket answer(m_config.packetSize, 0);
    std::copy_n(packet.begin(), PACKET_HEADER_SIZE, answer.begin());
    answer[PACKET_KIND_OFFSET] = 0;
    answer[PACKET_CODE_HIGH_OFFSET] =
        static_cast<std::uint8_t>(status | ((code >> 8) & ~STATUS_MASK));
    answer[PACKET_CODE_LOW_OFFSET] = static_cast<std::uint8_t>(code & 0xFF);
    return answer;
}

void VirtualUnit::StoreBlock(Command command, std::span<const std::uint8_t> packet) {
    const std::uint32_t blockNumber = PacketParameter(packet);
    std::vector<std::uint8_t>& memory = command == Command::CpuBlock ? m_cpuMemory : m_flashMemory;
    // Block numbers count from 1; a block outside the region is acknowledged but kept nowhere.
    if (blockNumber == 0 || blockNumber > memory.size() / DATA_BLOCK_SIZE)
        return;
    std::copy_n(packet.begin() + PACKET_DATA_OFFSET, DATA_BLOCK_SIZE,
                memory.begin() + DATA_BLOCK_SIZE * (blockNumber - 1));
}

bool VirtualUnit::SaveMemory(const std::string& directory) const {
    const std::filesystem::path base(directory);
    const std::string prefix = "unit-" + std::to_string(m_config.number);
    return WriteFile(base / (prefix + "-cpu.bin"), m_cpuMemory) &&
           WriteFile(base / (prefix + "-flash.bin"), m_flashMemory);
}

std::string FormatCaptureLine(std::int32_t number, char direction,
                              std::span<const std::uint8_t> packet) {
    static constexpr char DIGITS[] = "0123456789ABCDEF";
    std::string line = std::to_string(number) + ' ' + direction + ' ';
    for (std::uint8_t byte : packet) {
        line += DIGITS[byte >> 4];
        line += DIGITS[byte & 0x0F];
    }
    return line;
}

} // namespace knot::sim
