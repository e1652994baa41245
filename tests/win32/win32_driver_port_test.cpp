#include "knot_names.h"

#include "device_access.h"
#include "device_access_seam.h"
#include "disconnect_event.h"
#include "interface_survey.h"
#include "scratch_folder.h"
#include "transfer_log.h"
#include "unit_interface_class.h"
#include "win32_api.h"
#include "win32_driver_port.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace {

// A device-information set of our own, with one interface of the unit's class on a
// phantom device, so that enumeration and the detail query can run where no driver is.
class PrivateUnitSet {
  public:
    PrivateUnitSet() {
        m_set = SetupDiCreateDeviceInfoList(&GUID_DEVINTERFACE_UNIT, nullptr);
        if (m_set == INVALID_HANDLE_VALUE) {
            m_error = GetLastError();
            return;
        }
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof device;
        if (!SetupDiCreateDeviceInfoA(m_set, "KNOTTEST", &GUID_DEVINTERFACE_UNIT, nullptr, nullptr,
                                      DICD_GENERATE_ID, &device)) {
            m_error = GetLastError();
            return;
        }
        SP_DEVICE_INTERFACE_DATA iface{};
        iface.cbSize = sizeof iface;
        m_ready = SetupDiCreateDeviceInterfaceA(m_set, &device, &GUID_DEVINTERFACE_UNIT, "unit", 0,
                                                &iface) != FALSE;
        m_error = m_ready ? ERROR_SUCCESS : GetLastError();
    }
    ~PrivateUnitSet() {
        if (m_set != INVALID_HANDLE_VALUE) {
            SetupDiDestroyDeviceInfoList(m_set);
        }
    }
    PrivateUnitSet(const PrivateUnitSet&) = delete;
    PrivateUnitSet& operator=(const PrivateUnitSet&) = delete;

    bool ready() const { return m_ready; }
    // Creating a device needs administrator rights on Windows itself (Wine grants them).
    bool refused() const { return m_error == ERROR_ACCESS_DENIED; }
    DWORD error() const { return m_error; }
    PortHandle handle() const { return reinterpret_cast<PortHandle>(m_set); }

  private:
    HDEVINFO m_set = INVALID_HANDLE_VALUE;
    bool m_ready = false;
    DWORD m_error = ERROR_SUCCESS;
};

#define SKIP_UNLESS_READY(units)                                                                   \
    if ((units).refused()) {                                                                       \
        GTEST_SKIP() << "creating a phantom device needs administrator rights";                    \
    }                                                                                              \
    ASSERT_TRUE((units).ready()) << "the setup service refused a phantom device: "                 \
                                 << (units).error()

// The driver's disconnect event, as the driver would create it, in the global namespace.
class DriverEvent {
  public:
    explicit DriverEvent(const char* name)
        : m_event(CreateEventA(nullptr, TRUE, FALSE, name)),
          m_error(m_event ? ERROR_SUCCESS : GetLastError()) {}
    ~DriverEvent() {
        if (m_event) {
            CloseHandle(m_event);
        }
    }
    DriverEvent(const DriverEvent&) = delete;
    DriverEvent& operator=(const DriverEvent&) = delete;

    HANDLE get() const { return m_event; }
    // Global names need a privilege that ordinary Windows sessions lack (Wine grants it).
    bool refused() const { return m_error == ERROR_ACCESS_DENIED; }

  private:
    HANDLE m_event;
    DWORD m_error;
};

#define SKIP_UNLESS_CREATED(driver)                                                                \
    if ((driver).refused()) {                                                                      \
        GTEST_SKIP() << "creating a global event needs a privilege this session lacks";            \
    }                                                                                              \
    ASSERT_NE((driver).get(), nullptr)

TEST(Win32DriverPortTest, NoInterfacesWhereNoDriverRuns) {
    Win32DriverPort port;
    PortHandle set = port.GetClassDevices();
    ASSERT_NE(set, INVALID_PORT_HANDLE);
    EXPECT_EQ(WalkInterfaces(port, set, false), 0u);
    // "No more items" rather than a refused record: the service accepted our size field.
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
    EXPECT_EQ(port.GetInterfaceDetailSize(set, 0), 0u);
    std::string path = "unchanged";
    EXPECT_FALSE(port.GetInterfaceDetail(set, 0, path));
    EXPECT_EQ(path, "unchanged");
    port.DestroyDeviceInfoList(set);
}

TEST(Win32DriverPortTest, EnumeratesAndReadsTheDetailOfAnInterface) {
    PrivateUnitSet units;
    SKIP_UNLESS_READY(units);
    Win32DriverPort port;
    EXPECT_EQ(WalkInterfaces(port, units.handle(), false), 1u);

    std::size_t size = port.GetInterfaceDetailSize(units.handle(), 0);
    std::string path;
    ASSERT_TRUE(port.GetInterfaceDetail(units.handle(), 0, path));
    EXPECT_EQ(size, path.size() + 1);
    // The symbolic link names the interface class and the reference string.
    std::string upper = path;
    for (char& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    EXPECT_NE(upper.find("{6850537E-9503-42CE-96DD-47049E09BA40}"), std::string::npos) << path;
    EXPECT_FALSE(port.GetInterfaceDetail(units.handle(), 1, path));
}

// The sizes a 32-bit layout would give, which a 64-bit service refuses; the port must give
// the sizes of the build it is part of.
TEST(Win32DriverPortTest, SetupServiceTakesOnlyTheRecordSizesOfThisBuild) {
    EXPECT_EQ(Win32DriverPort::InterfaceDataRecordSize(), sizeof(SP_DEVICE_INTERFACE_DATA));
    EXPECT_EQ(Win32DriverPort::DetailDataRecordSize(), sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A));
#ifdef _WIN64
    EXPECT_EQ(Win32DriverPort::InterfaceDataRecordSize(), 32u);
    EXPECT_EQ(Win32DriverPort::DetailDataRecordSize(), 8u);

    PrivateUnitSet units;
    SKIP_UNLESS_READY(units);
    HDEVINFO set = reinterpret_cast<HDEVINFO>(units.handle());
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = 28;
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &GUID_DEVINTERFACE_UNIT, 0, &data));
    data.cbSize = Win32DriverPort::InterfaceDataRecordSize();
    ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set, nullptr, &GUID_DEVINTERFACE_UNIT, 0, &data));

    alignas(8) char storage[512] = {};
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(storage);
    detail->cbSize = 5;
    EXPECT_FALSE(
        SetupDiGetDeviceInterfaceDetailA(set, &data, detail, sizeof storage, nullptr, nullptr));
    detail->cbSize = Win32DriverPort::DetailDataRecordSize();
    EXPECT_TRUE(
        SetupDiGetDeviceInterfaceDetailA(set, &data, detail, sizeof storage, nullptr, nullptr));
#else
    EXPECT_EQ(Win32DriverPort::InterfaceDataRecordSize(), 28u);
    EXPECT_EQ(Win32DriverPort::DetailDataRecordSize(), 5u);
#endif
}

TEST(Win32DriverPortTest, DisconnectEventOfNoDriverDoesNotOpen) {
    Win32DriverPort port;
    for (std::int32_t number : {UNKNOWN_DEVICE_NUMBER, 3}) {
        std::string name = DisconnectEventName(number);
        EXPECT_EQ(port.OpenNamedEvent(name), INVALID_PORT_HANDLE) << name;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << name;
    }
}

// The shared device search over the real port, where no unit's driver runs.
TEST(Win32DriverPortTest, DeviceSearchFindsNoUnitAndLeavesTheLinkClosed) {
    Win32DriverPort port;
    ScratchFolder folder;
    TransferLog log(folder.File("debugZu.txt"), folder.File("debugZu.1.txt"));
    DeviceAccess access(port, log);
    std::string printed;
    access.SetDiagnosticSink([&](std::string_view text) { printed += text; });

    EXPECT_EQ(access.CountDeviceInterfaces(), 0);
    DeviceLink link;
    EXPECT_FALSE(access.OpenDeviceLink(link));
    EXPECT_FALSE(link.IsOpen());
    EXPECT_EQ(link.packetSize, FULL_PACKET_SIZE);
    EXPECT_EQ(link.deviceNumber, UNKNOWN_DEVICE_NUMBER);
    EXPECT_EQ(printed, "");

    EXPECT_EQ(DeviceAccessSeam::OpenDeviceInterface(access, 0), NULL_PORT_HANDLE);
    EXPECT_EQ(printed, NO_INTERFACE_DATA_TEXT);
    char path[DEVICE_PATH_BUFFER_SIZE];
    EXPECT_FALSE(DeviceAccessSeam::GetDevicePath(access, 0, path, DEVICE_PATH_CAPACITY));
}

struct WaitCase {
    const char* name;
    bool stopSet;
    bool driverSet;
    WaitOutcome outcome;
};

class Win32WaitTest : public ::testing::TestWithParam<WaitCase> {};

TEST_P(Win32WaitTest, FirstOfTwoEventsWithStopFirst) {
    const WaitCase& c = GetParam();
    DriverEvent driver("Global\\KNOT_TEST_DISCONNECTED_WAIT");
    SKIP_UNLESS_CREATED(driver);
    Win32DriverPort port;
    PortHandle stop = port.CreateStopEvent();
    ASSERT_NE(stop, INVALID_PORT_HANDLE);
    PortHandle named = port.OpenNamedEvent("Global\\KNOT_TEST_DISCONNECTED_WAIT");
    ASSERT_NE(named, INVALID_PORT_HANDLE);

    if (c.stopSet) {
        EXPECT_TRUE(port.SetEvent(stop));
    }
    if (c.driverSet) {
        ::SetEvent(driver.get());
    }
    EXPECT_EQ(port.WaitForStopOrEvent(stop, named, 0), c.outcome);
    // The stop event resets itself once a wait has taken it.
    if (c.outcome == WaitOutcome::Stop && !c.driverSet) {
        EXPECT_EQ(port.WaitForStopOrEvent(stop, named, 0), WaitOutcome::TimedOut);
    }
    port.CloseEvent(named);
    port.CloseEvent(stop);
}

INSTANTIATE_TEST_SUITE_P(Events, Win32WaitTest,
                         ::testing::Values(WaitCase{"Neither", false, false, WaitOutcome::TimedOut},
                                           WaitCase{"Stop", true, false, WaitOutcome::Stop},
                                           WaitCase{"Driver", false, true,
                                                    WaitOutcome::Disconnected},
                                           WaitCase{"BothStopWins", true, true, WaitOutcome::Stop}),
                         [](const auto& info) { return info.param.name; });

TEST(Win32DriverPortTest, StopEventWakesAWaitWithoutEnd) {
    DriverEvent driver("Global\\KNOT_TEST_DISCONNECTED_WAKE");
    SKIP_UNLESS_CREATED(driver);
    Win32DriverPort port;
    PortHandle stop = port.CreateStopEvent();
    PortHandle named = port.OpenNamedEvent("Global\\KNOT_TEST_DISCONNECTED_WAKE");
    ASSERT_NE(stop, INVALID_PORT_HANDLE);
    ASSERT_NE(named, INVALID_PORT_HANDLE);

    WaitOutcome outcome = WaitOutcome::Failed;
    std::thread watcher([&] { outcome = port.WaitForStopOrEvent(stop, named, -1); });
    EXPECT_TRUE(port.SetEvent(stop));
    watcher.join();
    EXPECT_EQ(outcome, WaitOutcome::Stop);
    port.CloseEvent(named);
    port.CloseEvent(stop);
}

TEST(Win32DriverPortTest, WaitOnAnEventThatDidNotOpenFails) {
    Win32DriverPort port;
    PortHandle stop = port.CreateStopEvent();
    EXPECT_EQ(port.WaitForStopOrEvent(stop, INVALID_PORT_HANDLE, 0), WaitOutcome::Failed);
    port.CloseEvent(stop);
}

TEST(Win32DriverPortTest, FilesThatAreNotUnits) {
    Win32DriverPort port;
    EXPECT_EQ(port.CreateFile("\\\\?\\knot#no#such#unit"), INVALID_PORT_HANDLE);

    std::size_t returned = 99;
    char buffer[256];
    EXPECT_FALSE(port.DeviceIoControl(INVALID_PORT_HANDLE, IOCTL_UNIT_RECEIVE, nullptr, 0, buffer,
                                      sizeof buffer, returned));
    EXPECT_EQ(returned, 0u);

    // A plain file opens with the unit's access and sharing, but knows none of its codes.
    std::filesystem::path file = std::filesystem::temp_directory_path() / "knot_port_plain.bin";
    std::ofstream(file) << "not a unit";
    PortHandle handle = port.CreateFile(file.string());
    ASSERT_NE(handle, INVALID_PORT_HANDLE);
    returned = 99;
    EXPECT_FALSE(port.DeviceIoControl(handle, IOCTL_UNIT_GET_DEVICE_NUMBER, nullptr, 0, buffer, 4,
                                      returned));
    port.CloseHandle(handle);
    std::filesystem::remove(file);
}

} // namespace
