#include "string_table.h"

#include "variant_profile.h"

namespace knot::core {
namespace {

struct StringEntry {
    std::uint16_t id;
    const char* text;
};

constexpr StringEntry kStringTable[] = {
#define KNOT_STRING(id, text) {id, text},
#include "string_table_entries.inc"
#undef KNOT_STRING
};

} // namespace

const char* LoadStringResource(std::uint16_t id) {
    for (const StringEntry& entry : kStringTable) {
        if (entry.id == id) {
            return entry.text;
        }
    }
    return nullptr;
}

const char* ProgramTitle(const VariantProfile& profile) {
    return LoadStringResource(profile.titleStringId);
}

} // namespace knot::core
