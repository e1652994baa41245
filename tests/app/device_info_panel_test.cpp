// The identity rows: reset, and the reader's rules over a scripted link for both models.
#include "knot_names.h"

#include "case_printer.h"
#include "controller_test_support.h"
#include "recording_view.h"

#include "device_info_panel.h"
#include "fake_packet_link.h"
#include "operator_texts.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using knot_test::PrintTo;

// What the unit does for one row, in order.
struct Reply {
    enum Kind { Answer, Refuse, FailedReceives, Stale, WrongSize } kind;
    std::string payload = {}; // Answer: bytes from offset 14
    int count = 1;            // FailedReceives, Stale, WrongSize
    std::uint8_t status = 0x80;
};

struct QueryCase {
    const char* name;
    std::vector<Reply> rows[3];
    bool failSendOfRow0 = false;
    bool result;
    std::string shown[3]; // the value cells afterwards
};

const std::string P = IDENTITY_PLACEHOLDER;

class DeviceInfoQueryTest
    : public ::testing::TestWithParam<std::tuple<const VariantProfile*, QueryCase>> {};

TEST_P(DeviceInfoQueryTest, FillsTheRowsThatAnswer) {
    const auto& [model, c] = GetParam();
    for (std::int32_t size : {64, 62}) {
        FakePacketLink link(size);
        int beeps = 0;
        PacketProtocol protocol(link, [&] { ++beeps; });
        RecordingView view;
        DeviceInfoPanel panel(*model, view.shown, protocol);
        panel.ResetDeviceInfo();
        for (int row = 0; row < 3; ++row) {
            CommandCode code = model->identityQueryCodes[row];
            for (const Reply& reply : c.rows[row]) {
                switch (reply.kind) {
                case Reply::Answer:
                    link.QueueResponse(ResponsePacket(
                        code, 0x40, size,
                        std::vector<std::uint8_t>(reply.payload.begin(), reply.payload.end())));
                    break;
                case Reply::Refuse:
                    link.QueueResponse(ResponsePacket(code, reply.status, size));
                    break;
                case Reply::FailedReceives:
                    link.QueueFailedReceives(reply.count);
                    break;
                case Reply::Stale:
                    for (int i = 0; i < reply.count; ++i) {
                        link.QueueAck(0x3F0F);
                    }
                    break;
                case Reply::WrongSize:
                    for (int i = 0; i < reply.count; ++i) {
                        link.QueueResponse(ResponsePacket(code, 0x40, size == 64 ? 62 : 64));
                    }
                    break;
                }
            }
        }
        if (c.failSendOfRow0) {
            link.FailNextSends(1);
        }
        EXPECT_EQ(!panel.QueryDeviceInfo(), c.result) << size;
        ASSERT_EQ(view.rows.size(), 3u);
        for (int row = 0; row < 3; ++row) {
            EXPECT_EQ(view.rows[row][0], IDENTITY_ROW_LABELS[row]);
            EXPECT_EQ(view.rows[row][1], c.shown[row]) << "row " << row << ", size " << size;
        }
        EXPECT_EQ(link.pendingReplies(), 0u) << "each row read exactly its own replies";
        EXPECT_EQ(link.writes.size(), 3u) << "every row is sent, whatever the others did";
        EXPECT_EQ(beeps, c.failSendOfRow0 ? 1 : 0);
    }
}

using R = Reply;
const std::string checksum005A("\x00\x5A", 2);

const QueryCase queryCases[] = {
    {"AllAnswered",
     {{{R::Answer, "KNOTPROG"}}, {{R::Answer, "V1.23"}}, {{R::Answer, checksum005A}}},
     false,
     true,
     {"KNOTPROG", "V1.23", "005A"}},
    {"NulShortensText",
     {{{R::Answer, std::string("AB\0CDEFG", 8)}},
      {{R::Answer, "12345678"}},
      {{R::Answer, "\x0A\xFF"}}},
     false,
     true,
     {"AB", "12345678", "0AFF"}},
    {"EightBytesEvenWithoutANulAfter",
     {{{R::Answer, "ABCDEFGHIJ"}}, {{R::Answer, "1"}}, {{R::Answer, std::string("\0\0", 2)}}},
     false,
     true,
     {"ABCDEFGH", "1", "0000"}},
    {"RefusedStatus00",
     {{{R::Answer, "A"}}, {{R::Refuse, "", 1, 0x00}}, {{R::Answer, "\x12\x34"}}},
     false,
     false,
     {"A", P, "1234"}},
    {"RefusedStatus10",
     {{{R::Refuse, "", 1, 0x80}}, {{R::Answer, "B"}}, {{R::Answer, "\x12\x34"}}},
     false,
     false,
     {P, "B", "1234"}},
    {"RefusedStatus11",
     {{{R::Answer, "A"}}, {{R::Answer, "B"}}, {{R::Refuse, "", 1, 0xC0}}},
     false,
     false,
     {"A", "B", P}},
    {"StaleAnswersSkipped",
     {{{R::Stale, "", 2}, {R::Answer, "A"}},
      {{R::Answer, "B"}},
      {{R::Answer, std::string("\x00\x01", 2)}}},
     false,
     true,
     {"A", "B", "0001"}},
    {"TenFailedReceivesEndARow",
     {{{R::FailedReceives, "", 10}}, {{R::Answer, "B"}}, {{R::Answer, std::string("\x00\x01", 2)}}},
     false,
     false,
     {P, "B", "0001"}},
    {"NineFailuresStillWait",
     {{{R::FailedReceives, "", 9}, {R::Answer, "A"}},
      {{R::Answer, "B"}},
      {{R::Answer, std::string("\x00\x01", 2)}}},
     false,
     true,
     {"A", "B", "0001"}},
    {"StaleAnswerResetsTriesToThree",
     {{{R::FailedReceives, "", 2}, {R::Stale}, {R::FailedReceives, "", 3}},
      {{R::Answer, "B"}},
      {{R::Answer, std::string("\x00\x01", 2)}}},
     false,
     false,
     {P, "B", "0001"}},
    {"WrongSizesCostNoTry",
     {{{R::FailedReceives, "", 9}, {R::WrongSize, "", 5}, {R::Answer, "A"}},
      {{R::Answer, "B"}},
      {{R::Answer, std::string("\x00\x01", 2)}}},
     false,
     true,
     {"A", "B", "0001"}},
    {"SixtyFourIgnoredAnswersEndARow",
     {{{R::WrongSize, "", 40}, {R::Stale, "", 24}},
      {{R::Answer, "B"}},
      {{R::Answer, std::string("\x00\x01", 2)}}},
     false,
     false,
     {P, "B", "0001"}},
    {"SixtyThreeIgnoredAnswersStillWait",
     {{{R::WrongSize, "", 40}, {R::Stale, "", 23}, {R::Answer, "A"}},
      {{R::Answer, "B"}},
      {{R::Answer, std::string("\x00\x01", 2)}}},
     false,
     true,
     {"A", "B", "0001"}},
    {"RowNotSent",
     {{}, {{R::Answer, "B"}}, {{R::Answer, std::string("\x00\x01", 2)}}},
     true,
     false,
     {P, "B", "0001"}},
};

INSTANTIATE_TEST_SUITE_P(BothModels, DeviceInfoQueryTest,
                         ::testing::Combine(::testing::ValuesIn(BothModels),
                                            ::testing::ValuesIn(queryCases)),
                         [](const auto& info) {
                             return std::string(
                                        std::get<0>(info.param)->modelName[5] == 'Q' ? "Q" : "P") +
                                    std::get<1>(info.param).name;
                         });

TEST(DeviceInfoPanelTest, ResetShowsThreePlaceholderRowsAndAnEmptyBar) {
    FakePacketLink link;
    PacketProtocol protocol(link, [] {});
    RecordingView view;
    DeviceInfoPanel panel(VariantQProfile(), view.shown, protocol);
    view.rows.resize(5);
    panel.ResetDeviceInfo();
    ASSERT_EQ(view.rows.size(), 3u);
    EXPECT_EQ(view.rows[0][0], "Program Name");
    EXPECT_EQ(view.rows[1][0], "Version");
    EXPECT_EQ(view.rows[2][0], "Check SUM");
    for (const auto& row : view.rows) {
        EXPECT_EQ(row[1], "--------");
    }
    EXPECT_EQ(view.rangeMax, 1);
    EXPECT_EQ(view.position, 0);
}

TEST(DeviceInfoPanelTest, AFailedRowKeepsTheValueAnEarlierQueryShowed) {
    const VariantProfile& model = VariantQProfile();
    FakePacketLink link;
    PacketProtocol protocol(link, [] {});
    RecordingView view;
    DeviceInfoPanel panel(model, view.shown, protocol);
    panel.ResetDeviceInfo();
    const char* first[] = {"KNOTPROG", "V1.23"};
    for (int row = 0; row < 2; ++row) {
        link.QueueResponse(ResponsePacket(
            model.identityQueryCodes[row], 0x40, 64,
            std::vector<std::uint8_t>(first[row], first[row] + std::strlen(first[row]))));
    }
    link.QueueResponse(ResponsePacket(model.identityQueryCodes[2], 0x40, 64, {0x12, 0x34}));
    ASSERT_FALSE(panel.QueryDeviceInfo());

    // Again, without a reset: the version is refused, the other rows answer anew.
    link.QueueResponse(ResponsePacket(model.identityQueryCodes[0], 0x40, 64,
                                      std::vector<std::uint8_t>{'N', 'E', 'W'}));
    link.QueueResponse(ResponsePacket(model.identityQueryCodes[1], 0xC0, 64));
    link.QueueResponse(ResponsePacket(model.identityQueryCodes[2], 0x40, 64, {0x56, 0x78}));
    EXPECT_TRUE(panel.QueryDeviceInfo());
    EXPECT_EQ(view.rows[0][1], "NEW");
    EXPECT_EQ(view.rows[1][1], "V1.23") << "neither the placeholder nor a blank";
    EXPECT_EQ(panel.Values()[1], "V1.23");
    EXPECT_EQ(view.rows[2][1], "5678");
}

TEST(DeviceInfoPanelTest, TheCodeNotTheRowChoosesTheHexForm) {
    std::uint8_t response[PACKET_IMAGE_SIZE] = {};
    response[14] = 'A';
    response[15] = 'Z';
    for (CommandCode code : {0x0822, 0x0832, 0x0802, 0x0812, 0x08F2}) {
        EXPECT_EQ(FormatIdentityValue(code, response), "415A") << std::hex << code;
    }
    for (CommandCode code : {0x0823, 0x0833, 0x0821, 0x0831, 0x0F02}) {
        EXPECT_EQ(FormatIdentityValue(code, response), "AZ") << std::hex << code;
    }
}

} // namespace
