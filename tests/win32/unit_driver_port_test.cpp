// The unchanged port and device search against knot-unit-sim.exe's units behind the test driver:
// what only a real driver shows (present interfaces only, the path the setup service builds, the
// device number and the named event the driver makes). Needs the Wine prefix of the driver tests.
#include "knot_names.h"

#include "device_access.h"
#include "disconnect_event.h"
#include "interface_survey.h"
#include "scratch_folder.h"
#include "transfer_log.h"
#include "unit_interface_class.h"
#include "unit_sim_control.h"
#include "win32_api.h"
#include "win32_driver_port.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr DWORD EVENT_DEADLINE_MS = 5000;

// Interfaces of the unit class the setup service lists with `flags`.
int CountInterfaces(DWORD flags) {
    HDEVINFO set = SetupDiGetClassDevsA(&GUID_DEVINTERFACE_UNIT, nullptr, nullptr, flags);
    if (set == INVALID_HANDLE_VALUE)
        return -1;
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    int count = 0;
    while (SetupDiEnumDeviceInterfaces(set, nullptr, &GUID_DEVINTERFACE_UNIT, count, &data))
        ++count;
    SetupDiDestroyDeviceInfoList(set);
    return count;
}

// A registered interface of the unit class on a device no driver serves: listed, never present.
class AbsentInterface {
  public:
    AbsentInterface() {
        m_set = SetupDiCreateDeviceInfoList(nullptr, nullptr);
        m_device.cbSize = sizeof m_device;
        const GUID noClass{};
        SP_DEVICE_INTERFACE_DATA iface{};
        iface.cbSize = sizeof iface;
        m_made = m_set != INVALID_HANDLE_VALUE &&
                 SetupDiCreateDeviceInfoA(m_set, "ROOT\\KNOTABSENT\\0000", &noClass, nullptr,
                                          nullptr, 0, &m_device) &&
                 SetupDiCreateDeviceInterfaceA(m_set, &m_device, &GUID_DEVINTERFACE_UNIT, nullptr,
                                               0, &iface) &&
                 SetupDiRegisterDeviceInfo(m_set, &m_device, 0, nullptr, nullptr, nullptr);
    }
    ~AbsentInterface() {
        if (m_made)
            SetupDiRemoveDevice(m_set, &m_device);
        if (m_set != INVALID_HANDLE_VALUE)
            SetupDiDestroyDeviceInfoList(m_set);
    }
    AbsentInterface(const AbsentInterface&) = delete;
    AbsentInterface& operator=(const AbsentInterface&) = delete;
    bool made() const { return m_made; }

  private:
    HDEVINFO m_set = INVALID_HANDLE_VALUE;
    SP_DEVINFO_DATA m_device{};
    bool m_made = false;
};

class UnitDriverPortTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        s_server = new UnitSimServer;
        std::string said;
        ASSERT_TRUE(s_server->Start(said)) << said;
    }
    static void TearDownTestSuite() {
        EXPECT_TRUE(s_server->Stop());
        delete s_server;
        s_server = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(s_server != nullptr && s_server->Running());
        access.SetDiagnosticSink([](std::string_view) {});
    }

    static UnitSimServer* s_server;
    Win32DriverPort port;
    ScratchFolder folder;
    TransferLog log{folder.File("debugZu.txt"), folder.File("debugZu.1.txt")};
    DeviceAccess access{port, log};
};

UnitSimServer* UnitDriverPortTest::s_server = nullptr;

// Only present interfaces count, and the first unit reporting the product id is taken, whatever
// comes before it in the service's order.
TEST_F(UnitDriverPortTest, SearchCountsPresentUnitsAndTakesTheOneWithTheProductId) {
    AbsentInterface absent;
    ASSERT_TRUE(absent.made()) << GetLastError();
    const std::int32_t foreign = Plug("--product 0x1234 --packet-size 62 --number 4");
    const std::int32_t unit = Plug("--vendor 0x0DEF --number 9");
    ASSERT_EQ(foreign, 4);
    ASSERT_EQ(unit, 9);
    // The absent interface is really there: listed when absent ones are asked for too.
    EXPECT_EQ(CountInterfaces(DIGCF_DEVICEINTERFACE), 3);

    EXPECT_EQ(access.CountDeviceInterfaces(), 2);
    DeviceLink link;
    ASSERT_TRUE(access.OpenDeviceLink(link));
    EXPECT_EQ(link.packetSize, FULL_PACKET_SIZE);
    EXPECT_EQ(link.deviceNumber, 9);
    access.CloseDeviceLink(link);
    EXPECT_TRUE(Unplug(foreign));
    EXPECT_TRUE(Unplug(unit));
    EXPECT_EQ(access.CountDeviceInterfaces(), 0);
}

struct IdentityCase {
    const char* name;
    const char* plug;
    std::int32_t packetSize;
    std::int32_t deviceNumber;
    const char* location = ""; // as the setup service tells it for the unit's device
};

class UnitIdentityTest : public UnitDriverPortTest,
                         public ::testing::WithParamInterface<IdentityCase> {};

// The packet size comes from the path the setup service built for the unit, the number from the
// driver, the location from the unit's device instance; the driver signals the event of that
// number when the unit goes.
TEST_P(UnitIdentityTest, PacketSizeNumberLocationAndDisconnectEvent) {
    const IdentityCase& c = GetParam();
    const std::int32_t plugged = Plug(c.plug);
    ASSERT_GE(plugged, 0);
    EXPECT_EQ(SurveyUnit(port, 0).location, c.location);
    DeviceLink link;
    ASSERT_TRUE(access.OpenDeviceLink(link));
    EXPECT_EQ(link.packetSize, c.packetSize);
    EXPECT_EQ(link.deviceNumber, c.deviceNumber);
    PortHandle event = port.OpenNamedEvent(DisconnectEventName(link.deviceNumber));
    EXPECT_NE(event, INVALID_PORT_HANDLE) << DisconnectEventName(link.deviceNumber);
    access.CloseDeviceLink(link);
    ASSERT_TRUE(Unplug(plugged));
    if (event != INVALID_PORT_HANDLE) {
        EXPECT_EQ(WaitForSingleObject(reinterpret_cast<HANDLE>(event), EVENT_DEADLINE_MS),
                  WAIT_OBJECT_0);
        port.CloseEvent(event);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Units, UnitIdentityTest,
    ::testing::Values(IdentityCase{"Short", "--packet-size 62 --number 3", SHORT_PACKET_SIZE, 3},
                      IdentityCase{"Full", "--packet-size 64 --number 12", FULL_PACKET_SIZE, 12},
                      IdentityCase{"NoNumber", "--packet-size 62 --no-number", SHORT_PACKET_SIZE,
                                   UNKNOWN_DEVICE_NUMBER},
                      IdentityCase{"Slotted", "--number 5 --slot Port_#0003.Hub_#0001",
                                   FULL_PACKET_SIZE, 5, "Port_#0003.Hub_#0001"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
