#include "knot_names.h"

#include "case_printer.h"
#include "command_texts.h"
#include "fake_packet_link.h"
#include "packet_protocol.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace {

using knot_test::PrintTo;

using Bytes = std::vector<std::uint8_t>;

Bytes Head(const Bytes& bytes, std::size_t count) {
    return Bytes(bytes.begin(), bytes.begin() + count);
}

struct ProtocolFixture : ::testing::Test {
    FakePacketLink link{64};
    int beeps = 0;
    PacketProtocol protocol{link, [this] { ++beeps; }};
};

// --- Command texts -----------------------------------------------------------------------

struct TextCase {
    const char* name;
    std::string text;
    Bytes head; // the first bytes of the packet; the rest must be zero
};

class CommandTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(CommandTextTest, BuildsThePacketDigitByDigit) {
    const TextCase& c = GetParam();
    FakePacketLink link(64);
    PacketProtocol protocol(link, [] {});
    protocol.SendCommandText(c.text);
    ASSERT_EQ(link.writes.size(), 1u);
    Bytes expected(64, 0);
    std::copy(c.head.begin(), c.head.end(), expected.begin());
    EXPECT_EQ(link.writes[0], expected);
}

INSTANTIATE_TEST_SUITE_P(
    Digits, CommandTextTest,
    ::testing::Values(
        // "a" at an odd index is ignored without moving on; "1" then overwrites the byte.
        TextCase{"LowerCaseAtOddIndex", "0a1B", {0x1B}},
        // A high digit is assigned, not added: the "2" replaces the 0x10 the "1" left.
        TextCase{"HighDigitReplacesTheByte", "1a2B", {0x2B}},
        // The space takes index 2, so "7" is a low digit added to 0x00.
        TextCase{"SpaceShiftsTheDigits", "01 70", {0x01, 0x07, 0x00}},
        TextCase{"UpperCaseDigits", "09AFBC", {0x09, 0xAF, 0xBC}},
        TextCase{"LowerCaseHexIsIgnored", "ab12", {0x12}},
        // A high byte outside ASCII is ignored like any other character.
        TextCase{"HighBytesAreIgnored", std::string("\x80\xC3") + "12", {0x12}},
        TextCase{"OddLengthLeavesTheHighDigit", "123", {0x12, 0x30}}, TextCase{"Empty", "", {}}),
    [](const auto& info) { return info.param.name; });

TEST_F(ProtocolFixture, ReturnsTheCodeOfBytesTenAndElevenMaskedTo14Bits) {
    // Byte 10 = 0xC8: the status bits are not part of the code.
    EXPECT_EQ(protocol.SendCommandText("01007000300000000000C833"), 0x0833);
    EXPECT_EQ(beeps, 0);
}

TEST_F(ProtocolFixture, EmptyTextSendsZerosAndReturnsZero) {
    EXPECT_EQ(protocol.SendCommandText(""), 0);
    ASSERT_EQ(link.writes.size(), 1u);
    EXPECT_EQ(link.writes[0], Bytes(64, 0));
    EXPECT_EQ(beeps, 0);
}

TEST_F(ProtocolFixture, FailedSendBeepsAndReturnsZero) {
    link.FailNextSends();
    EXPECT_EQ(protocol.SendCommandText(InitializeCommandText()), 0);
    EXPECT_EQ(beeps, 1);
    EXPECT_EQ(link.receiveCalls, 0);
}

TEST_F(ProtocolFixture, TextLongerThanTheImageIsRefusedWithoutSending) {
    EXPECT_EQ(protocol.SendCommandText(std::string(MAX_COMMAND_TEXT_LENGTH, '1')), 0x1111);
    EXPECT_EQ(protocol.SendCommandText(std::string(MAX_COMMAND_TEXT_LENGTH + 1, '1')), 0);
    EXPECT_EQ(link.writes.size(), 1u);
    EXPECT_EQ(beeps, 1);
}

struct PrepareCase {
    const char* name;
    const VariantProfile& (*profile)();
    std::int32_t packetSize;
    std::uint8_t target;
};

class PrepareTextTest : public ::testing::TestWithParam<PrepareCase> {};

TEST_P(PrepareTextTest, CarriesTheTargetNumberInBytes14To17) {
    const PrepareCase& c = GetParam();
    FakePacketLink link(c.packetSize);
    PacketProtocol protocol(link, [] {});
    std::string text = PrepareCommandText(c.profile());
    EXPECT_EQ(text.size(), 134u);
    EXPECT_EQ(protocol.SendCommandText(text), PREPARE_COMMAND_CODE);
    ASSERT_EQ(link.writes.size(), 1u);
    Bytes expected(static_cast<std::size_t>(c.packetSize), 0);
    Bytes head = {0x01, 0x00, 0x70, 0x00, 0x30, 0, 0, 0, 0, 0, 0x3F, 0x0F, 0, 0, 0, 0, 0, c.target};
    std::copy(head.begin(), head.end(), expected.begin());
    EXPECT_EQ(link.writes[0], expected);
}

INSTANTIATE_TEST_SUITE_P(BothVariants, PrepareTextTest,
                         ::testing::Values(PrepareCase{"P64", VariantPProfile, 64, 2},
                                           PrepareCase{"Q62", VariantQProfile, 62, 3},
                                           PrepareCase{"Q64", VariantQProfile, 64, 3}),
                         [](const auto& info) { return info.param.name; });

// --- Data blocks ---------------------------------------------------------------------------

TEST_F(ProtocolFixture, DataBlockLayout) {
    std::array<std::uint8_t, DATA_BLOCK_SIZE> data;
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>(0xA0 + i);
    }
    link.QueueAck(0x3F12);
    EXPECT_EQ(protocol.SendDataBlock(data.data(), 0x01020304, 0x12), Exchange::Accepted);
    ASSERT_EQ(link.writes.size(), 1u);
    Bytes expected = {0x01, 0x00, 0x70, 0x00, 0x30, 0x00, 0x00, 0x00, 0x00,
                      0x24, 0x3F, 0x12, 0x00, 0x00, 0x01, 0x02, 0x03, 0x04};
    expected.insert(expected.end(), data.begin(), data.end());
    expected.resize(64, 0);
    EXPECT_EQ(link.writes[0], expected);
    EXPECT_EQ(beeps, 0);
}

TEST_F(ProtocolFixture, ShortPacketsSendTheFirst62BytesAndAcceptOnly62ByteAnswers) {
    link.SetPacketSize(62);
    std::array<std::uint8_t, DATA_BLOCK_SIZE> data{};
    data.fill(0x55);
    link.QueueResponse(ResponsePacket(0x3F23, 0x40, 64)); // wrong size for this link: skipped
    link.QueueAck(0x3F23);
    EXPECT_EQ(protocol.SendDataBlock(data.data(), 1, 0x23), Exchange::Accepted);
    ASSERT_EQ(link.writes.size(), 1u);
    EXPECT_EQ(link.writes[0].size(), 62u);
    EXPECT_EQ(Head(link.writes[0], 18),
              (Bytes{0x01, 0x00, 0x70, 0x00, 0x30, 0x00, 0x00, 0x00, 0x00, 0x24, 0x3F, 0x23, 0x00,
                     0x00, 0x00, 0x00, 0x00, 0x01}));
    EXPECT_EQ(link.receiveCalls, 2);
}

TEST_F(ProtocolFixture, NegativeBlockNumberIsSentAsItsTwosComplement) {
    std::array<std::uint8_t, DATA_BLOCK_SIZE> data{};
    link.QueueAck(0x3F13);
    EXPECT_EQ(protocol.SendDataBlock(data.data(), -2, 0x13), Exchange::Accepted);
    EXPECT_EQ(Bytes(link.writes[0].begin() + 14, link.writes[0].begin() + 18),
              (Bytes{0xFF, 0xFF, 0xFF, 0xFE}));
}

struct BlockFailureCase {
    const char* name;
    bool sendFails;
    std::uint8_t status; // of the one answer queued, when the send works
    Exchange told;       // why the block failed, as the protocol tells it
};

class DataBlockFailureTest : public ::testing::TestWithParam<BlockFailureCase> {};

TEST_P(DataBlockFailureTest, BeepsOnceAndSaysWhy) {
    const BlockFailureCase& c = GetParam();
    FakePacketLink link(64);
    int beeps = 0;
    PacketProtocol protocol(link, [&] { ++beeps; });
    std::array<std::uint8_t, DATA_BLOCK_SIZE> data{};
    if (c.sendFails) {
        link.FailNextSends();
        link.QueueAck(0x3F22); // never read
    } else if (c.status != 0x40) {
        link.QueueAck(0x3F22, c.status);
    }
    EXPECT_EQ(protocol.SendDataBlock(data.data(), 7, 0x22), c.told);
    EXPECT_EQ(beeps, 1);
    EXPECT_EQ(link.receiveCalls, c.sendFails ? 0 : (c.status == 0x40 ? ACK_TRIES : 1));
}

INSTANTIATE_TEST_SUITE_P(
    Failures, DataBlockFailureTest,
    ::testing::Values(BlockFailureCase{"SendFails", true, 0x40, Exchange::LinkFailed},
                      BlockFailureCase{"Refused", false, 0xC0, Exchange::Refused},
                      BlockFailureCase{"NoAnswer", false, 0x40, Exchange::NoAnswer}),
    [](const auto& info) { return info.param.name; });

// --- Acknowledgment wait -------------------------------------------------------------------

// One scripted event of a wait: a failed receive, a response of some size, code and status.
struct Event {
    enum Kind { Fail, Answer } kind;
    CommandCode code = 0;
    std::uint8_t status = 0x40;
    std::size_t size = 0; // 0: the link's packet size
};

Event Fail() {
    return {Event::Fail};
}
Event Answer(CommandCode code, std::uint8_t status = 0x40, std::size_t size = 0) {
    return {Event::Answer, code, status, size};
}

struct AckCase {
    const char* name;
    std::int32_t packetSize;
    std::vector<Event> script;
    bool result;
    int receives; // receive calls made before the wait ended
};

class WaitForAckTest : public ::testing::TestWithParam<AckCase> {};

TEST_P(WaitForAckTest, JudgesTheResponses) {
    const AckCase& c = GetParam();
    FakePacketLink link(c.packetSize);
    int beeps = 0;
    PacketProtocol protocol(link, [&] { ++beeps; });
    for (const Event& e : c.script) {
        if (e.kind == Event::Fail) {
            link.QueueFailedReceives();
        } else {
            std::size_t size = e.size ? e.size : static_cast<std::size_t>(c.packetSize);
            link.QueueResponse(ResponsePacket(e.code, e.status, size));
        }
    }
    link.QueueAck(0x3F12); // beyond the end of every script: reached only by a wrong wait
    EXPECT_EQ(protocol.WaitForAck(0x3F12) == Exchange::Accepted, c.result);
    EXPECT_EQ(link.receiveCalls, c.receives);
    EXPECT_EQ(beeps, 0);
}

std::vector<Event> Repeat(int count, Event e) {
    return std::vector<Event>(count, e);
}

std::vector<Event> Then(std::vector<Event> a, const std::vector<Event>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

INSTANTIATE_TEST_SUITE_P(
    Budget, WaitForAckTest,
    ::testing::Values(
        AckCase{"AcceptedAtOnce", 64, {Answer(0x3F12)}, true, 1},
        AckCase{"ThreeFailuresEndTheWait", 64, Repeat(3, Fail()), false, 3},
        AckCase{"TwoFailuresThenTheAnswer", 64, {Fail(), Fail(), Answer(0x3F12)}, true, 3},
        // Another command's answer sets the budget back to three.
        AckCase{"OtherCommandResetsTheBudget",
                64,
                {Fail(), Fail(), Answer(0x3F0F), Fail(), Fail(), Answer(0x3F12)},
                true,
                6},
        AckCase{"ResetBudgetRunsOutAfterThreeMore",
                64,
                {Fail(), Fail(), Answer(0x0833), Fail(), Fail(), Fail()},
                false,
                6},
        // A wrong-size answer neither costs a try nor restores one.
        AckCase{"WrongSizeKeepsTheBudget",
                64,
                {Fail(), Fail(), Answer(0x3F12, 0x40, 62), Fail()},
                false,
                4},
        AckCase{
            "Skips62BytesOnA64ByteLink", 64, {Answer(0x3F12, 0x40, 62), Answer(0x3F12)}, true, 2},
        AckCase{
            "Skips64BytesOnA62ByteLink", 62, {Answer(0x3F12, 0x40, 64), Answer(0x3F12)}, true, 2},
        // The status bits are not part of the code, and a refusal ends the wait at once.
        AckCase{"RefusedWithStatus00", 64, {Answer(0x3F12, 0x00)}, false, 1},
        AckCase{"RefusedWithStatus10", 64, {Answer(0x3F12, 0x80)}, false, 1},
        AckCase{"RefusedWithStatus11", 64, {Answer(0x3F12, 0xC0)}, false, 1},
        AckCase{"RefusalOfAnotherCommandIsSkipped",
                64,
                {Answer(0x3F13, 0xC0), Answer(0x3F12)},
                true,
                2},
        // The bound on responses that do not count: 63 are skipped, the 64th ends the wait.
        AckCase{"SixtyThreeIgnoredThenTheAnswer", 64,
                Then(Repeat(63, Answer(0x3F0F)), {Answer(0x3F12)}), true, 64},
        AckCase{"SixtyFourOtherCommandsEndTheWait", 64, Repeat(64, Answer(0x3F0F)), false,
                MAX_IGNORED_RESPONSES},
        AckCase{"SixtyFourWrongSizesEndTheWait", 62, Repeat(64, Answer(0x3F12, 0x40, 64)), false,
                MAX_IGNORED_RESPONSES},
        // Failed receives do not restart the run, so failures between stale answers cannot
        // hold the wait open for ever.
        AckCase{"FailuresBetweenStaleAnswersStillEnd", 64,
                [] {
                    std::vector<Event> s;
                    for (int i = 0; i < 64; ++i) {
                        s.push_back(Fail());
                        s.push_back(Answer(0x3F0F));
                    }
                    return s;
                }(),
                false, 128}),
    [](const auto& info) { return info.param.name; });

TEST(AwaitResponseTest, StartsFromTheGivenBudgetAndKeepsTheMatchingResponse) {
    FakePacketLink link(64);
    for (int i = 0; i < 9; ++i) {
        link.QueueFailedReceives();
    }
    link.QueueResponse(ResponsePacket(0x0822, 0x40, 64, {0x00, 0x5A}));
    std::array<std::uint8_t, PACKET_IMAGE_SIZE> response;
    EXPECT_EQ(AwaitResponse(link, 0x0822, 10, response.data()), Exchange::Accepted);
    EXPECT_EQ(response[14], 0x00);
    EXPECT_EQ(response[15], 0x5A);
    EXPECT_EQ(response[64], 0x00); // cleared before the read

    link.QueueResponse(ResponsePacket(0x0822, 0x80, 64));
    EXPECT_EQ(AwaitResponse(link, 0x0822, 10, response.data()), Exchange::Refused);
    EXPECT_EQ(AwaitResponse(link, 0x0822, 1, response.data()), Exchange::NoAnswer);
    for (int i = 0; i < MAX_IGNORED_RESPONSES; ++i) {
        link.QueueAck(0x0821);
    }
    EXPECT_EQ(AwaitResponse(link, 0x0822, 10, response.data()), Exchange::OutOfTurn);
}

} // namespace
