// The real programs KNOT-Q_FDT.exe and KNOT-P_FDT.exe, started as the operator starts them (no
// unit plugged in) and read from outside: the model's title and menu bar, the four controls of
// the right classes where the template puts them, three identity rows with the placeholder,
// Start disabled, and the end on Escape with status 0.
#include "operator_texts.h"
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

constexpr DWORD kWaitMs = 30000;

struct Program {
    const char* model;
    const wchar_t* path;
    const VariantProfile& (*profile)();
    friend void PrintTo(const Program& program, std::ostream* out) { *out << program.model; }
};

struct WindowSearch {
    DWORD process;
    HWND found;
};

BOOL CALLBACK FindProgramWindow(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<WindowSearch*>(context);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == search->process && IsWindowVisible(window) &&
        GetDlgItem(window, IDC_START) != nullptr) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// A cell of a list view in another process: the request and its answer pass through memory of
// that process.
std::wstring RemoteListCell(HANDLE process, HWND list, int row, int column) {
    constexpr std::size_t kChars = 128;
    struct Request {
        LVITEMW item;
        wchar_t text[kChars];
    };
    auto* remote = static_cast<Request*>(
        VirtualAllocEx(process, nullptr, sizeof(Request), MEM_COMMIT, PAGE_READWRITE));
    if (remote == nullptr) {
        return L"(no memory in the program)";
    }
    Request request{};
    request.item.iSubItem = column;
    request.item.pszText = remote->text;
    request.item.cchTextMax = kChars;
    WriteProcessMemory(process, remote, &request, sizeof(request), nullptr);
    SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                 reinterpret_cast<LPARAM>(&remote->item));
    ReadProcessMemory(process, remote, &request, sizeof(request), nullptr);
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    request.text[kChars - 1] = L'\0';
    return request.text;
}

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
    std::wstring commandLine = L"\"" + std::wstring(program.path) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started{};
    ASSERT_TRUE(CreateProcessW(program.path, commandLine.data(), nullptr, nullptr, FALSE, 0,
                               nullptr, nullptr, &startup, &started));
    // Whatever fails below, the program does not outlive the test.
    struct Reaper {
        PROCESS_INFORMATION& process;
        ~Reaper() {
            if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) {
                TerminateProcess(process.hProcess, 1);
            }
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
        }
    } reaper{started};
    WindowSearch search{started.dwProcessId, nullptr};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
    while (search.found == nullptr && std::chrono::steady_clock::now() < deadline &&
           WaitForSingleObject(started.hProcess, 10) == WAIT_TIMEOUT) {
        EnumWindows(FindProgramWindow, reinterpret_cast<LPARAM>(&search));
    }
    HWND window = search.found;
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
        EXPECT_EQ(RemoteListCell(started.hProcess, list, row, IDENTITY_VALUE_COLUMN),
                  WidenText(IDENTITY_PLACEHOLDER));
    }
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window, IDC_START)));

    // Escape, on the list that has the focus: the program ends, with status 0.
    PostMessageW(list, WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageW(list, WM_KEYUP, VK_ESCAPE, 0);
    ASSERT_EQ(WaitForSingleObject(started.hProcess, kWaitMs), WAIT_OBJECT_0);
    DWORD status = 1;
    GetExitCodeProcess(started.hProcess, &status);
    EXPECT_EQ(status, 0u);
}

INSTANTIATE_TEST_SUITE_P(Programs, ProgramTest,
                         ::testing::Values(Program{"q", KNOT_Q_FDT_PATH, VariantQProfile},
                                           Program{"p", KNOT_P_FDT_PATH, VariantPProfile}),
                         [](const auto& info) { return std::string(info.param.model); });

} // namespace
