// The hexadecimal texts of the unit's commands, built from the program's profile.
// SendCommandText turns them into packets.
#pragma once

#include "variant_profile.h"

#include <cstdint>
#include <string>

namespace knot::device {
using namespace knot::core;

// Packet bytes 0-9 of every command.
inline constexpr const char* COMMAND_HEADER_TEXT = "01007000300000000000";

inline constexpr CommandCode PREPARE_COMMAND_CODE = 0x3F0F;
inline constexpr CommandCode COMMIT_COMMAND_CODE = 0x3F80;
inline constexpr CommandCode INITIALIZE_COMMAND_CODE = 0x01D2;

// Header, code, bytes 12-13, targetNumber as "%08X" and zeros: 134 characters.
std::string PrepareCommandText(const VariantProfile& profile);
std::string CommitCommandText(const VariantProfile& profile);
// Header, code and zeros: 128 characters.
std::string InitializeCommandText();
std::string IdentityQueryText(CommandCode code);

} // namespace knot::device
