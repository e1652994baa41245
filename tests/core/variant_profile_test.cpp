#include "knot_names.h"

#include "string_table.h"
#include "variant_profile.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace {

struct ProfileCase {
    const VariantProfile& profile;
    const char* title;
    std::uint32_t flashBase;
    std::uint32_t target;
    std::array<CommandCode, 3> queries;
    std::uint32_t waitSteps;
    std::uint8_t cpuType;
    std::uint8_t flashType;
    std::uint16_t aboutId;
    bool initialize;
    std::vector<std::string> menuTitles;
};

// The case and the test are named by the model: "KNOT-Q", and "Q" in the test's name.
void PrintTo(const ProfileCase& c, std::ostream* out) {
    *out << c.profile.modelName;
}

std::string ModelLetter(const ::testing::TestParamInfo<ProfileCase>& info) {
    const std::string model = info.param.profile.modelName;
    return model.substr(model.rfind('-') + 1);
}

class ProfileTest : public ::testing::TestWithParam<ProfileCase> {};

TEST_P(ProfileTest, FieldsAndResources) {
    const ProfileCase& c = GetParam();
    const VariantProfile& p = c.profile;
    EXPECT_STREQ(ProgramTitle(p), c.title);
    EXPECT_EQ(p.flashBase, c.flashBase);
    EXPECT_EQ(p.targetNumber, c.target);
    EXPECT_EQ(p.identityQueryCodes, c.queries);
    // The checksum query is the one that the identity display shows in hexadecimal.
    EXPECT_EQ(p.identityQueryCodes[2] & 0x3F0F, 0x0802);
    EXPECT_EQ(p.commitWaitSteps, c.waitSteps);
    EXPECT_EQ(p.cpuBlockType, c.cpuType);
    EXPECT_EQ(p.flashBlockType, c.flashType);
    EXPECT_EQ(p.aboutCommandId, c.aboutId);
    EXPECT_EQ(p.hasInitializeCommand, c.initialize);
    ASSERT_EQ(p.menuBar.size(), c.menuTitles.size());
    for (std::size_t i = 0; i < c.menuTitles.size(); ++i) {
        EXPECT_EQ(p.menuBar[i].title, c.menuTitles[i]);
    }
    EXPECT_EQ(p.menuBar.back().items[0].commandId, p.aboutCommandId);
    EXPECT_EQ(std::string(p.menuBar.back().items[0].text),
              std::string("&About ") + c.title + "...");
    EXPECT_EQ(std::string(p.aboutCaption), std::string("About ") + c.title);
    EXPECT_EQ(std::string(p.aboutFirstLine), std::string(c.title) + " Version 1.10");
    EXPECT_EQ(std::string(p.versionEntries.originalFilename),
              std::string(p.versionEntries.internalName) + ".EXE");
}

INSTANTIATE_TEST_SUITE_P(BothModels, ProfileTest,
                         ::testing::Values(ProfileCase{VariantQProfile(),
                                                       "ZU-KNOT-Q Flash Data Transfer Tool",
                                                       0,
                                                       3,
                                                       {0x0833, 0x0831, 0x0832},
                                                       1500,
                                                       0x13,
                                                       0x23,
                                                       32774,
                                                       false,
                                                       {"&File", "&Help"}},
                                           ProfileCase{VariantPProfile(),
                                                       "ZU-KNOT-P Flash Data Transfer Tool",
                                                       0x800000,
                                                       2,
                                                       {0x0823, 0x0821, 0x0822},
                                                       6000,
                                                       0x12,
                                                       0x22,
                                                       32773,
                                                       true,
                                                       {"&File", "&Data", "&Help"}}),
                         ModelLetter);

TEST(StringTable, KnowsTheWholeFamilyAndNothingElse) {
    EXPECT_STREQ(LoadStringResource(32771), "Open an S-Record File.");
    EXPECT_STREQ(LoadStringResource(32776),
                 "Display Zu-V FDT program information, version and copyright.");
    EXPECT_STREQ(LoadStringResource(32779), "ZU-KNOT-R Flash Data Transfer Tool");
    EXPECT_STREQ(LoadStringResource(32780), "Zu-V Flash Data Transfer Tool");
    EXPECT_EQ(LoadStringResource(32770), nullptr);
    EXPECT_EQ(LoadStringResource(32781), nullptr);
}

} // namespace
