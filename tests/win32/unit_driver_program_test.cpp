// The real KNOT-P_FDT.exe against a unit of knot-unit-sim.exe behind the test driver, read from
// outside: the unit it finds is identified, its unplugging (the driver's named event) empties the
// identity rows, the unit plugged in again is found by the poller and identified afresh, and the
// program asked to close ends at once with status 0. Needs the Wine prefix of the driver tests
// and a display. KNOT_P_FDT_EXE names another build's program to run instead (the 32-bit one).
#include "knot_names.h"

#include "flash_transfer_view.h"
#include "operator_texts.h"
#include "remote_program.h"
#include "resource_ids.h"
#include "unit_sim_control.h"
#include "win32_text.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <string>

namespace {

using Rows = std::array<std::string, IDENTITY_ROW_COUNT>;

constexpr std::chrono::milliseconds kWait{30000};
// The close stops two workers, each waited for at most 1 s; the program must be gone by then.
constexpr std::chrono::milliseconds kCloseBound{2000};

const wchar_t* ProgramPath() {
    const wchar_t* other = _wgetenv(L"KNOT_P_FDT_EXE");
    return other != nullptr && *other != L'\0' ? other : KNOT_P_FDT_PATH;
}

struct Unit {
    const char* plug;
    std::int32_t number;
    Rows rows;
};

// The two units differ in every identity value, so that rows left from the first cannot pass for
// the second's.
const Unit kFirst{"--number 5 --program-name FIRSTONE --version 1.2 --checksum 0A5F", 5,
                  Rows{"FIRSTONE", "1.2", "0A5F"}};
const Unit kSecond{"--number 8 --program-name OTHER --version 3.04 --checksum C2B1", 8,
                   Rows{"OTHER", "3.04", "C2B1"}};
const Rows kPlaceholders{IDENTITY_PLACEHOLDER, IDENTITY_PLACEHOLDER, IDENTITY_PLACEHOLDER};

class UnitDriverProgramTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* display = std::getenv("DISPLAY");
        if (display == nullptr || *display == '\0') {
            GTEST_SKIP() << "Wine shows windows only with a display (run under Xvfb)";
        }
        std::string said;
        ASSERT_TRUE(server.Start(said)) << said;
    }

    // What the value column of the identity rows shows now.
    Rows Shown(const RemoteProgram& program, HWND list) const {
        Rows rows;
        for (int row = 0; row < IDENTITY_ROW_COUNT; ++row) {
            rows[row] = NarrowText(program.ListCell(list, row, IDENTITY_VALUE_COLUMN));
        }
        return rows;
    }
    // Waits for the rows to show `expected`; on failure says what they showed.
    ::testing::AssertionResult RowsBecome(const RemoteProgram& program, HWND list,
                                          const Rows& expected) const {
        if (program.WaitUntil([&] { return Shown(program, list) == expected; }, kWait)) {
            return ::testing::AssertionSuccess();
        }
        const Rows shown = Shown(program, list);
        return ::testing::AssertionFailure()
               << "rows show \"" << shown[0] << "\", \"" << shown[1] << "\", \"" << shown[2]
               << "\" instead of \"" << expected[0] << "\", \"" << expected[1] << "\", \""
               << expected[2] << "\"";
    }

    UnitSimServer server;
};

TEST_F(UnitDriverProgramTest, IdentifiesFollowsUnplugAndReplugAndClosesAtOnce) {
    ASSERT_EQ(Plug(kFirst.plug), kFirst.number);
    RemoteProgram program(ProgramPath());
    ASSERT_TRUE(program.Started());
    HWND window = program.WaitForMainWindow(kWait);
    ASSERT_NE(window, nullptr) << "no window shown";
    HWND list = GetDlgItem(window, IDC_LIST);

    // Present at start-up: opened and asked at once.
    ASSERT_TRUE(RowsBecome(program, list, kFirst.rows)) << "the unit present at start-up";

    ASSERT_TRUE(Unplug(kFirst.number));
    ASSERT_TRUE(RowsBecome(program, list, kPlaceholders)) << "after the unplug";

    ASSERT_EQ(Plug(kSecond.plug), kSecond.number);
    ASSERT_TRUE(RowsBecome(program, list, kSecond.rows)) << "the unit plugged in again";

    // The close box, with a session open and its watcher waiting on the driver's event.
    PostMessageW(window, WM_CLOSE, 0, 0);
    DWORD status = 1;
    EXPECT_TRUE(program.WaitForEnd(kCloseBound, status)) << "still running 2 s after the close";
    EXPECT_EQ(status, 0u);
    EXPECT_TRUE(server.Stop());
}

} // namespace
