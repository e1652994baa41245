#include "command_texts.h"

#include <cstdio>

namespace knot::device {
namespace {

// Zeros after the code in commands without a parameter, and after the parameter in the others.
constexpr std::size_t PLAIN_COMMAND_TAIL = 104;
constexpr std::size_t PARAMETER_COMMAND_TAIL = 98;

std::string PlainCommandText(CommandCode code) {
    char digits[8];
    std::snprintf(digits, sizeof digits, "%04X", static_cast<unsigned>(code));
    return std::string(COMMAND_HEADER_TEXT) + digits + std::string(PLAIN_COMMAND_TAIL, '0');
}

// Code, two zero bytes (packet bytes 12-13), then the parameter in bytes 14-17.
std::string ParameterCommandText(CommandCode code, std::uint32_t parameter) {
    char digits[24];
    std::snprintf(digits, sizeof digits, "%04X0000%08X", static_cast<unsigned>(code),
                  static_cast<unsigned>(parameter));
    return std::string(COMMAND_HEADER_TEXT) + digits + std::string(PARAMETER_COMMAND_TAIL, '0');
}

} // namespace

std::string PrepareCommandText(const VariantProfile& profile) {
    return ParameterCommandText(PREPARE_COMMAND_CODE, profile.targetNumber);
}

std::string CommitCommandText(const VariantProfile& profile) {
    return ParameterCommandText(COMMIT_COMMAND_CODE, profile.targetNumber);
}

std::string InitializeCommandText() {
    return PlainCommandText(INITIALIZE_COMMAND_CODE);
}

std::string IdentityQueryText(CommandCode code) {
    return PlainCommandText(code);
}

} // namespace knot::device
