// Variant Q: the KNOT-Q unit, program KNOT-Q_FDT.
#include "variant_profile.h"

namespace knot::core {
namespace {

constexpr MenuItem kFileItems[] = {{"Open An S-&Record...", ID_FILE_OPEN}};
constexpr MenuItem kHelpItems[] = {
    {"&About ZU-KNOT-Q Flash Data Transfer Tool...", ID_APP_ABOUT_Q}};
constexpr MenuDefinition kMenuBar[] = {{"&File", kFileItems}, {"&Help", kHelpItems}};

constexpr VariantProfile kProfile{
    .titleStringId = 32778,
    .flashBase = 0,
    .targetNumber = 3,
    .identityQueryCodes = {0x0833, 0x0831, 0x0832},
    .commitWaitSteps = 1500,
    .cpuBlockType = 0x13,
    .flashBlockType = 0x23,
    .aboutCommandId = ID_APP_ABOUT_Q,
    .hasInitializeCommand = false,
    .modelName = "KNOT-Q",
    .programName = "KNOT-Q_FDT",
    .menuBar = kMenuBar,
    .aboutCaption = "About ZU-KNOT-Q Flash Data Transfer Tool",
    .aboutFirstLine = "ZU-KNOT-Q Flash Data Transfer Tool Version 1.10",
    .versionEntries = {"KNOT-Q_FDT", "KNOT-Q_FDT.EXE", "ZU-KNOT-Q_FDT Application"},
};

} // namespace

const VariantProfile& VariantQProfile() {
    return kProfile;
}

} // namespace knot::core
