// Variant P: the KNOT-P unit, program KNOT-P_FDT.
#include "variant_profile.h"

namespace knot::core {
namespace {

constexpr MenuItem kFileItems[] = {{"Open An S-&Record...", ID_FILE_OPEN}};
constexpr MenuItem kDataItems[] = {{"&Initialize", ID_DATA_INITIALIZE}};
constexpr MenuItem kHelpItems[] = {
    {"&About ZU-KNOT-P Flash Data Transfer Tool...", ID_APP_ABOUT_P}};
constexpr MenuDefinition kMenuBar[] = {
    {"&File", kFileItems}, {"&Data", kDataItems}, {"&Help", kHelpItems}};

constexpr VariantProfile kProfile{
    .titleStringId = 32777,
    .flashBase = 0x800000,
    .targetNumber = 2,
    .identityQueryCodes = {0x0823, 0x0821, 0x0822},
    .commitWaitSteps = 6000,
    .cpuBlockType = 0x12,
    .flashBlockType = 0x22,
    .aboutCommandId = ID_APP_ABOUT_P,
    .hasInitializeCommand = true,
    .modelName = "KNOT-P",
    .programName = "KNOT-P_FDT",
    .menuBar = kMenuBar,
    .aboutCaption = "About ZU-KNOT-P Flash Data Transfer Tool",
    .aboutFirstLine = "ZU-KNOT-P Flash Data Transfer Tool Version 1.10",
    .versionEntries = {"KNOT-P_FDT", "KNOT-P_FDT.EXE", "ZU-KNOT-P_FDT Application"},
};

} // namespace

const VariantProfile& VariantPProfile() {
    return kProfile;
}

} // namespace knot::core
