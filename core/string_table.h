// The string table shared by both programs: menu prompts and the titles of the model family.
#pragma once

#include <cstdint>

namespace knot::core {
// The text of string id `id`, or nullptr when the table has no such entry.
const char* LoadStringResource(std::uint16_t id);

// The program title: entry `titleStringId` of the string table.
struct VariantProfile;
const char* ProgramTitle(const VariantProfile& profile);

} // namespace knot::core
