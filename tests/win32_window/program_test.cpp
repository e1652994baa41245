// The real programs KNOT-Q_FDT.exe and KNOT-P_FDT.exe, started as the operator starts them (no
// unit plugged in) and read from outside: the model's title and menu bar, the four controls of
// the right classes where the template puts them, three identity rows with the placeholder,
// Start disabled, and the end on Escape with status 0.
#include "knot_names.h"

#include "operator_texts.h"
#include "remote_program.h"
#include "resource_ids.h"
#include "string_table.h"
#include "variant_profile.h"
#include "win32_text.h"
#include "window_test_support.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>

namespace {

constexpr std::chrono::milliseconds kWait{30000};

struct Program {
    const char* model;
    const wchar_t* path;
    const VariantProfile& (*profile)();
    friend void PrintTo(const Program& program, std::ostream* out) { *out << program.model; }
};

RECT ClientRectOf(HWND control, HWND dialog) {
    RECT rect{};
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

class ProgramTest : public ::testing::TestWithParam<Program> {
  protected:
    void SetUp() override {
        const char* display = std::getenv("DISPLAY");
        if (display == nullptr || *display == '\0') {
            GTEST_SKIP() << "Wine shows windows only with a display (run under Xvfb)";
        }
    }
};

TEST_P(ProgramTest, ShowsItsModelsWindowAndEndsOnEscape) {
    const Program& program = GetParam();
    const VariantProfile& profile = program.profile();
    RemoteProgram started(program.path);
    ASSERT_TRUE(started.Started());
    HWND window = started.WaitForMainWindow(kWait);
    ASSERT_NE(window, nullptr) << "no window shown";

    EXPECT_EQ(WindowText(window), WidenText(ProgramTitle(profile)));

    // The same template opened here gives the places the controls must have there.
    WindowRig rig;
    ASSERT_NE(rig.Open(profile), nullptr);
    const struct {
        int id;
        const wchar_t* className;
    } controls[] = {{IDC_LIST, WC_LISTVIEWW},
                    {IDC_START, L"Button"},
                    {IDC_PROGRESS, PROGRESS_CLASSW},
                    {IDC_STATUS, L"Static"}};
    for (const auto& control : controls) {
        HWND item = GetDlgItem(window, control.id);
        ASSERT_NE(item, nullptr) << control.id;
        wchar_t className[64] = {};
        GetClassNameW(item, className, 64);
        EXPECT_EQ(_wcsicmp(className, control.className), 0) << control.id;
        const RECT actual = ClientRectOf(item, window);
        const RECT expected = ClientRectOf(rig.Item(control.id), rig.dlg->GetSafeHwnd());
        EXPECT_TRUE(EqualRect(&actual, &expected)) << control.id;
    }

    // A menu bar is attached, and the frame holds it above the template's client area. (A menu
    // cannot be read from another process under Wine; the window suite reads its items.)
    EXPECT_NE(GetMenu(window), nullptr);
    RECT client{};
    RECT expectedClient{};
    GetClientRect(window, &client);
    GetClientRect(rig.dlg->GetSafeHwnd(), &expectedClient);
    EXPECT_TRUE(EqualRect(&client, &expectedClient));
    RECT frame{};
    RECT expectedFrame{};
    GetWindowRect(window, &frame);
    GetWindowRect(rig.dlg->GetSafeHwnd(), &expectedFrame);
    EXPECT_EQ(frame.bottom - frame.top, expectedFrame.bottom - expectedFrame.top);

    HWND list = GetDlgItem(window, IDC_LIST);
    ASSERT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), IDENTITY_ROW_COUNT);
    for (int row = 0; row < IDENTITY_ROW_COUNT; ++row) {
        EXPECT_EQ(started.ListCell(list, row, IDENTITY_VALUE_COLUMN),
                  WidenText(IDENTITY_PLACEHOLDER));
    }
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window, IDC_START)));

    // Escape, on the list that has the focus: the program ends, with status 0.
    PostMessageW(list, WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageW(list, WM_KEYUP, VK_ESCAPE, 0);
    DWORD status = 1;
    ASSERT_TRUE(started.WaitForEnd(kWait, status));
    EXPECT_EQ(status, 0u);
}

INSTANTIATE_TEST_SUITE_P(Programs, ProgramTest,
                         ::testing::Values(Program{"q", KNOT_Q_FDT_PATH, VariantQProfile},
                                           Program{"p", KNOT_P_FDT_PATH, VariantPProfile}),
                         [](const auto& info) { return std::string(info.param.model); });

} // namespace
