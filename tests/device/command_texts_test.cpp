#include "knot_names.h"

#include "command_texts.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Zeros(std::size_t n) {
    return std::string(n, '0');
}

TEST(CommandTextsTest, ParameterCommandsCarryTheTargetNumber) {
    EXPECT_EQ(PrepareCommandText(VariantPProfile()),
              "010070003000000000003F0F000000000002" + Zeros(98));
    EXPECT_EQ(PrepareCommandText(VariantQProfile()),
              "010070003000000000003F0F000000000003" + Zeros(98));
    EXPECT_EQ(CommitCommandText(VariantQProfile()),
              "010070003000000000003F80000000000003" + Zeros(98));
}

TEST(CommandTextsTest, PlainCommandsAre128Characters) {
    EXPECT_EQ(InitializeCommandText(), "0100700030000000000001D2" + Zeros(104));
    EXPECT_EQ(IdentityQueryText(0x0833), "010070003000000000000833" + Zeros(104));
    EXPECT_EQ(IdentityQueryText(VariantPProfile().identityQueryCodes[2]),
              "010070003000000000000822" + Zeros(104));
}

} // namespace
