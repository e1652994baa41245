// The unit's side of the packet protocol: takes each packet the host sends and says what the unit
// answers, keeping the data blocks it accepted in its own CPU and flash memory.
#pragma once

#include "unit_config.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace knot::sim {
using UnitPacket = std::vector<std::uint8_t>;

// What one received packet makes the unit do.
struct UnitReaction {
    std::vector<UnitPacket> answers; // to queue for the host, in order
    bool committed = false;          // a commit arrived: the memory is to be saved
    bool unplugNow = false;          // the unit vanishes right after this packet
    int unplugAfterMs = -1;          // the unit vanishes this long after now (>= 0)
};

class VirtualUnit {
  public:
    explicit VirtualUnit(UnitConfig config);

    const UnitConfig& Config() const { return m_config; }
    UnitReaction Receive(std::span<const std::uint8_t> packet);

    std::span<const std::uint8_t> CpuMemory() const { return m_cpuMemory; }
    std::span<const std::uint8_t> FlashMemory() const { return m_flashMemory; }
    // Writes unit-N-cpu.bin and unit-N-flash.bin into `directory`.
    bool SaveMemory(const std::string& directory) const;

  private:
    enum class Command { Query, Prepare, Commit, Initialize, CpuBlock, FlashBlock, Unknown };

    const FaultSpec* FindFault(FaultKind kind, Command command, std::uint32_t value) const;
    UnitPacket MakeAnswer(std::span<const std::uint8_t> packet, std::uint16_t code,
                          std::uint8_t status) const;
    void StoreBlock(Command command, std::span<const std::uint8_t> packet);

    UnitConfig m_config;
    std::vector<std::uint8_t> m_cpuMemory;
    std::vector<std::uint8_t> m_flashMemory;
    std::uint32_t m_queriesReceived = 0;
};

// The capture line of one packet: "N R|S HEX", the packet in upper-case hexadecimal.
std::string FormatCaptureLine(std::int32_t number, char direction,
                              std::span<const std::uint8_t> packet);

} // namespace knot::sim
