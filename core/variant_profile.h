// The per-program constants of one unit model, and the resources that differ with it.
// Each program carries exactly one profile; every function that needs a field takes it by
// reference.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace knot::core {
// The 14-bit command identifier of a packet; 0 means "the send failed".
using CommandCode = std::uint16_t;

struct MenuItem {
    const char* text;
    std::uint16_t commandId;
};

struct MenuDefinition {
    const char* title;
    std::span<const MenuItem> items;
};

struct VersionEntries {
    const char* internalName;
    const char* originalFilename;
    const char* productName;
};

struct VariantProfile {
    std::uint16_t titleStringId;
    std::uint32_t flashBase;
    std::uint32_t targetNumber;
    std::array<CommandCode, 3> identityQueryCodes; // program name, version, checksum
    std::uint32_t commitWaitSteps;
    std::uint8_t cpuBlockType;
    std::uint8_t flashBlockType;
    std::uint16_t aboutCommandId;
    bool hasInitializeCommand;

    // Resources that differ with the model.
    const char* modelName;   // "KNOT-Q"
    const char* programName; // "KNOT-Q_FDT", the name of the executable
    std::span<const MenuDefinition> menuBar;
    const char* aboutCaption;
    const char* aboutFirstLine;
    VersionEntries versionEntries;
};

// Command ids shared by both programs' menus and the string table.
inline constexpr std::uint16_t ID_FILE_OPEN = 32771;
inline constexpr std::uint16_t ID_DATA_INITIALIZE = 32772;
inline constexpr std::uint16_t ID_APP_ABOUT_P = 32773;
inline constexpr std::uint16_t ID_APP_ABOUT_Q = 32774;
inline constexpr std::uint16_t ID_APP_ABOUT_R = 32775;
inline constexpr std::uint16_t ID_APP_ABOUT_V = 32776;

// The two profiles; each program's main hands one of them down.
const VariantProfile& VariantQProfile();
const VariantProfile& VariantPProfile();

} // namespace knot::core
