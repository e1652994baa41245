#include "string_table.h"

#include "variant_profile.h"

namespace {

struct StringEntry {
    std::uint16_t id;
    const char* text;
};

constexpr StringEntry kStringTable[] = {
    {32771, "Open an S-Record File."},
    {32772, "Initialize the setting data."},
    {32773, "Display ZU-KNOT-P FDT program information, version and copyright."},
    {32774, "Display ZU-KNOT-Q FDT program information, version and copyright."},
    {32775, "Display ZU-KNOT-R FDT program information, version and copyright."},
    {32776, "Display Zu-V FDT program information, version and copyright."},
    {32777, "ZU-KNOT-P Flash Data Transfer Tool"},
    {32778, "ZU-KNOT-Q Flash Data Transfer Tool"},
    {32779, "ZU-KNOT-R Flash Data Transfer Tool"},
    {32780, "Zu-V Flash Data Transfer Tool"},
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
