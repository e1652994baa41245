#include "knot_names.h"

#include "case_printer.h"
#include "device_access.h"
#include "device_access_seam.h"
#include "disconnect_event.h"
#include "fake_driver_port.h"
#include "file_text.h"
#include "interface_survey.h"
#include "scratch_folder.h"
#include "transfer_log.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using knot_test::PrintTo;

const std::string PLAIN_PATH = "\\\\?\\usb#vid_1234&pid_7832#00001#{6850537e}";

FakeInterface Unit(std::uint16_t productId, std::string path = PLAIN_PATH) {
    FakeInterface unit;
    unit.productId = productId;
    unit.path = std::move(path);
    return unit;
}

// A scripted port and a DeviceAccess over it whose diagnostics are collected.
struct AccessFixture {
    ScratchFolder folder;
    TransferLog log{folder.File("debugZu.txt"), folder.File("debugZu.1.txt"),
                    [] { return std::int64_t{1165467890}; }};
    FakeDriverPort port;
    DeviceAccess access{port, log};
    std::string printed;

    AccessFixture() {
        access.SetDiagnosticSink([this](std::string_view text) { printed.append(text); });
    }
    int CloseCalls(PortHandle handle) const {
        char text[32];
        std::snprintf(text, sizeof text, "CloseHandle %llX",
                      static_cast<unsigned long long>(handle));
        return static_cast<int>(std::count(port.calls.begin(), port.calls.end(), text));
    }
};

// --- Unit selection ------------------------------------------------------------------------

struct SelectionCase {
    const char* name;
    std::vector<FakeInterface> interfaces;
    int selected; // index of the interface opened, or -1 when the open fails
    std::string printed;
    std::vector<int> closed;      // interfaces whose handle was opened and closed again
    std::vector<std::string> why; // the survey's reason for each interface ("" qualifies)
    std::int32_t packetSize = FULL_PACKET_SIZE; // of the selected unit
};

class OpenDeviceLinkTest : public ::testing::TestWithParam<SelectionCase> {};

// The window's selection, and the survey that list prints and the unit choice takes, of the
// same interfaces: they choose the same unit, at the same path, with the same packet size.
TEST_P(OpenDeviceLinkTest, SelectsTheFirstQualifyingUnitAsTheSurveyJudgesIt) {
    const SelectionCase& c = GetParam();
    AccessFixture f;
    f.port.interfaces = c.interfaces;
    DeviceLink link;
    EXPECT_EQ(f.access.OpenDeviceLink(link), c.selected >= 0);
    if (c.selected >= 0) {
        EXPECT_EQ(link.handle, FakeDriverPort::FileHandleOf(static_cast<std::size_t>(c.selected)));
        EXPECT_EQ(f.port.openHandles, std::vector<PortHandle>{link.handle}); // sets released too
        EXPECT_EQ(link.packetSize, c.packetSize);
    } else {
        EXPECT_EQ(link.handle, INVALID_PORT_HANDLE);
        EXPECT_TRUE(f.port.openHandles.empty());
    }
    EXPECT_EQ(f.printed, c.printed);
    for (int i : c.closed) {
        EXPECT_EQ(f.CloseCalls(FakeDriverPort::FileHandleOf(static_cast<std::size_t>(i))), 1)
            << "interface " << i;
    }

    FakeDriverPort surveyed;
    surveyed.interfaces = c.interfaces;
    const std::vector<UnitInterface> units = SurveyUnits(surveyed);
    EXPECT_TRUE(surveyed.openHandles.empty());
    std::vector<std::string> why;
    int first = -1;
    for (const UnitInterface& unit : units) {
        why.push_back(WhyNotQualifying(unit));
        if (first < 0 && unit.qualifies) {
            first = static_cast<int>(unit.index);
        }
    }
    EXPECT_EQ(why, c.why);
    ASSERT_EQ(first, c.selected);
    if (first >= 0) {
        EXPECT_EQ(units[first].path, c.interfaces[first].path);
        EXPECT_EQ(units[first].packetSize, c.packetSize);
    }
}

FakeInterface With(FakeInterface unit, bool FakeInterface::*flag) {
    unit.*flag = true;
    return unit;
}

FakeInterface GoneFrom(FakeInterface unit, int set) {
    unit.goneFromSet = set;
    return unit;
}

const std::string LONG_PATH = "\\\\?\\usb#" + std::string(246, 'x'); // 254 characters
const std::string LINK_0 = "Symbolic link is " + PLAIN_PATH + "\n";

FakeInterface Numbered(FakeInterface unit, std::string path) {
    unit.path = std::move(path);
    return unit;
}

INSTANTIATE_TEST_SUITE_P(
    Selection, OpenDeviceLinkTest,
    ::testing::Values(
        SelectionCase{"NoInterface", {}, -1, "", {}, {}},
        SelectionCase{"PlainUnit", {Unit(0x7832)}, 0, LINK_0, {}, {""}},
        SelectionCase{"WrongProductFirst",
                      {Unit(0x1234), Numbered(Unit(0x7832), PLAIN_PATH + "b")},
                      1,
                      LINK_0 + "Symbolic link is " + PLAIN_PATH + "b\n",
                      {0},
                      {"foreign product id 0x1234", ""}},
        SelectionCase{"FailedDescriptorRead",
                      {With(Unit(0x7832), &FakeInterface::descriptorFails),
                       Numbered(Unit(0x7832), PLAIN_PATH + "b")},
                      1,
                      LINK_0 + "Symbolic link is " + PLAIN_PATH + "b\n",
                      {0},
                      {"it gives no device descriptor", ""}},
        // A file that does not open prints only the diagnostics and is not closed.
        SelectionCase{"FailedOpen",
                      {With(Unit(0x7832), &FakeInterface::openFails),
                       Numbered(Unit(0x7832), PLAIN_PATH + "b")},
                      1,
                      LINK_0 + "Symbolic link is " + PLAIN_PATH + "b\n",
                      {},
                      {"it gives no device descriptor", ""}},
        // Counted in the first set, gone from the next one, which the open asks for.
        SelectionCase{"VanishedInterface",
                      {GoneFrom(Unit(0x7832), 1), Numbered(Unit(0x7832), PLAIN_PATH + "b")},
                      1,
                      std::string(NO_INTERFACE_DATA_TEXT) + "Symbolic link is " + PLAIN_PATH +
                          "b\n",
                      {},
                      {"its device path cannot be read", ""}},
        SelectionCase{"FailedDetailQuery",
                      {With(Unit(0x7832), &FakeInterface::detailFails),
                       With(Unit(0x7832), &FakeInterface::detailSizeFails)},
                      -1,
                      "",
                      {},
                      {"its device path cannot be read", "its device path cannot be read"}},
        // Counted (set 0) and opened (set 1), then gone when its path is read (set 2): the unit
        // at the path it was opened at, with full-size packets although the path is marked.
        SelectionCase{"PathUnreadableOnceOpened",
                      {GoneFrom(Unit(0x7832, "usb#vid_1234&pid_7832#00002#"), 2)},
                      0,
                      "Symbolic link is usb#vid_1234&pid_7832#00002#\n",
                      {},
                      {""}},
        SelectionCase{"NoneQualifies",
                      {Unit(0x7833), Unit(0x3278, PLAIN_PATH + "b")},
                      -1,
                      LINK_0 + "Symbolic link is " + PLAIN_PATH + "b\n",
                      {0, 1},
                      {"foreign product id 0x7833", "foreign product id 0x3278"}},
        SelectionCase{"AnyVendorId",
                      [] {
                          FakeInterface u = Unit(0x7832);
                          u.vendorId = 0xFFFF;
                          return std::vector<FakeInterface>{u};
                      }(),
                      0,
                      LINK_0,
                      {},
                      {""}},
        SelectionCase{"ShortPacketPath",
                      {Unit(0x7832, "\\\\?\\usb#vid_1234&pid_7832#00002#{6850537e}")},
                      0,
                      "Symbolic link is \\\\?\\usb#vid_1234&pid_7832#00002#{6850537e}\n",
                      {},
                      {""},
                      SHORT_PACKET_SIZE},
        // A path that does not fit the 255-byte capacity with its zero is refused, not cut.
        SelectionCase{"TooLongPathIsRefused",
                      {Unit(0x7832, LONG_PATH + "y"), Unit(0x7832, LONG_PATH)},
                      1,
                      "Symbolic link is " + LONG_PATH + "y\nSymbolic link is " + LONG_PATH + "\n",
                      {0},
                      {"its device path cannot be read", ""}}),
    [](const auto& info) { return info.param.name; });

TEST(DeviceAccessTest, NoInterfaceSetGivesNothingAndPrintsOnlyOnOpen) {
    AccessFixture f;
    f.port.interfaces = {Unit(0x7832)};
    f.port.classDevicesFail = true;
    DeviceLink link;
    link.packetSize = 62;
    link.deviceNumber = 4;
    EXPECT_EQ(f.access.CountDeviceInterfaces(), 0);
    EXPECT_FALSE(f.access.OpenDeviceLink(link));
    EXPECT_EQ(f.printed, "");
    // With no interface the link stays as it came.
    EXPECT_EQ(link.handle, INVALID_PORT_HANDLE);
    EXPECT_EQ(link.packetSize, 62);
    EXPECT_EQ(link.deviceNumber, 4);

    EXPECT_EQ(DeviceAccessSeam::OpenDeviceInterface(f.access, 0), NULL_PORT_HANDLE);
    EXPECT_EQ(f.printed, NO_DEVICE_INFO_TEXT);
}

// --- Packet size and device number ---------------------------------------------------------

struct PacketSizeCase {
    const char* name;
    std::uint16_t vendorId;
    std::string path;
    std::int32_t packetSize;
};

class PacketSizeTest : public ::testing::TestWithParam<PacketSizeCase> {};

TEST_P(PacketSizeTest, FollowsTheUpperCasedPath) {
    const PacketSizeCase& c = GetParam();
    AccessFixture f;
    FakeInterface unit = Unit(0x7832, c.path);
    unit.vendorId = c.vendorId;
    f.port.interfaces = {unit};
    DeviceLink link;
    link.packetSize = 0;
    ASSERT_TRUE(f.access.OpenDeviceLink(link));
    EXPECT_EQ(link.packetSize, c.packetSize);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, PacketSizeTest,
    ::testing::Values(
        PacketSizeCase{"LowerCaseMatches", 0x0ABC, "\\\\?\\usb#vid_0abc&pid_7832#00002#{guid}", 62},
        PacketSizeCase{"UpperCaseMatches", 0x0ABC, "\\\\?\\USB#VID_0ABC&PID_7832#00002#{GUID}", 62},
        PacketSizeCase{"MatchAnywhere", 0x0ABC, "xVID_0aBc&pid_7832#00002#", 62},
        PacketSizeCase{"OtherInstance", 0x0ABC, "\\\\?\\usb#vid_0abc&pid_7832#00001#{guid}", 64},
        PacketSizeCase{"OtherVendorInPath", 0x0ABC, "\\\\?\\usb#vid_0abd&pid_7832#00002#", 64},
        PacketSizeCase{"NoPattern", 0x0ABC, "\\\\?\\usb#unit", 64}),
    [](const auto& info) { return info.param.name; });

TEST(DeviceAccessTest, DeviceNumberAndItsFallback) {
    AccessFixture f;
    FakeInterface unit = Unit(0x7832);
    unit.deviceNumber = 3;
    f.port.interfaces = {unit};
    DeviceLink link;
    ASSERT_TRUE(f.access.OpenDeviceLink(link));
    EXPECT_EQ(link.deviceNumber, 3);
    EXPECT_EQ(DisconnectEventName(link.deviceNumber), "Global\\MOLTRAN_ZU_DISCONNECTED3");

    f.access.CloseDeviceLink(link);
    f.port.interfaces[0].deviceNumberFails = true;
    link.deviceNumber = 7;
    ASSERT_TRUE(f.access.OpenDeviceLink(link));
    EXPECT_EQ(link.deviceNumber, -1);
    EXPECT_EQ(DisconnectEventName(link.deviceNumber), "Global\\MOLTRAN_ZU_DISCONNECTED");

    std::int32_t number = 9;
    EXPECT_FALSE(f.access.GetDeviceNumber(link.handle, number));
    EXPECT_EQ(number, 9);
    EXPECT_EQ(DisconnectEventName(INT_MAX), "Global\\MOLTRAN_ZU_DISCONNECTED2147483647");
}

TEST(DeviceAccessTest, CloseMarksTheLinkAndKeepsItsFields) {
    AccessFixture f;
    f.port.interfaces = {Unit(0x7832, "vid_1234&pid_7832#00002#")};
    DeviceLink link;
    ASSERT_TRUE(f.access.OpenDeviceLink(link));
    const PortHandle handle = link.handle;
    f.access.CloseDeviceLink(link);
    EXPECT_EQ(link.handle, INVALID_PORT_HANDLE);
    EXPECT_EQ(link.packetSize, 62);
    EXPECT_EQ(link.deviceNumber, 0);
    EXPECT_TRUE(f.port.openHandles.empty());
    f.access.CloseDeviceLink(link);
    EXPECT_EQ(f.CloseCalls(handle), 1);
    EXPECT_EQ(f.CloseCalls(INVALID_PORT_HANDLE), 0);
}

TEST(DeviceAccessTest, GetDevicePathClearsTheBufferAndRefusesWhatDoesNotFit) {
    AccessFixture f;
    f.port.interfaces = {Unit(0x7832, "abcd")};
    EXPECT_FALSE(DeviceAccessSeam::GetDevicePath(f.access, 0, nullptr, 10));
    std::array<char, 8> buffer;
    buffer.fill('#');
    EXPECT_TRUE(DeviceAccessSeam::GetDevicePath(f.access, 0, buffer.data(), 6));
    EXPECT_EQ(std::string(buffer.data(), 8), std::string("abcd\0\0##", 8));
    buffer.fill('#');
    EXPECT_FALSE(DeviceAccessSeam::GetDevicePath(f.access, 0, buffer.data(),
                                                 4)); // "abcd" and its zero need 5
    EXPECT_EQ(std::string(buffer.data(), 8), std::string("\0\0\0\0####", 8));
    EXPECT_FALSE(DeviceAccessSeam::GetDevicePath(f.access, 1, buffer.data(), 8));
    EXPECT_TRUE(f.port.openHandles.empty());
}

// --- Packets and their trace ---------------------------------------------------------------

TEST(DeviceAccessTest, SendAndReceiveAreTracedWhateverTheOutcome) {
    AccessFixture f;
    f.port.interfaces = {Unit(0x7832)};
    DeviceLink link;
    ASSERT_TRUE(f.access.OpenDeviceLink(link));
    f.port.receives.push_back({true, {'O', 'K', ' ', '\r'}});

    std::array<std::uint8_t, 64> packet{0x01, 0x00, 0x70};
    std::size_t returned = 0;
    EXPECT_TRUE(f.access.BinSendToDevice(link.handle, packet.data(), packet.size(), returned));
    std::array<std::uint8_t, 256> buffer{};
    EXPECT_TRUE(f.access.ReceiveFromDevice(link.handle, buffer.data(), buffer.size(), returned));
    EXPECT_EQ(returned, 4u);
    buffer.fill(0);
    EXPECT_FALSE(f.access.ReceiveFromDevice(link.handle, buffer.data(), buffer.size(), returned));
    f.port.sendFails = true;
    EXPECT_FALSE(f.access.BinSendToDevice(link.handle, packet.data(), 62, returned));
    ASSERT_EQ(f.port.sent.size(), 2u);
    EXPECT_EQ(f.port.sent[1].size(), 62u);

    const std::string text = ReadFile(f.log.currentPath());
    EXPECT_EQ(text, "     101,1165467890,     BinSendToDevice,[\x01]<1>\r\n"
                    "     101,1165467890,   ReceiveFromDevice,[OK]<1>\r\n"
                    "     101,1165467890,   ReceiveFromDevice,[]<0>\r\n"
                    "     101,1165467890,     BinSendToDevice,[\x01]<0>\r\n");
}

} // namespace
