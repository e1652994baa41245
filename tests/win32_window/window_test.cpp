// The native window under Wine: the real dialog from its templates over the in-process loopback
// port, driven through a real message loop and read back with the platform's own calls. Covers
// the initial state of both models, arrival and the Start rule, the chooser and the load
// outcomes, whole runs, a failing run, removal and closing during a run, and the keys.
#include "knot_names.h"

#include "flash_transfer_app.h"
#include "operator_texts.h"
#include "resource_ids.h"
#include "string_table.h"
#include "variant_profile.h"
#include "win32_text.h"
#include "window_dpi.h"
#include "window_test_support.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdlib>

namespace {

const VariantProfile& ProfileOf(char model) {
    return model == 'p' ? VariantPProfile() : VariantQProfile();
}

std::wstring Wide(const char* text) {
    return WidenText(text);
}

class WindowTest : public ::testing::TestWithParam<char> {
  protected:
    void SetUp() override {
        const char* display = std::getenv("DISPLAY");
        if (display == nullptr || *display == '\0') {
            GTEST_SKIP() << "Wine shows windows only with a display (run under Xvfb)";
        }
    }

    // Opens the window of the test's model and waits for its first arrival check.
    CFlashTransferDlg& Open(bool plugged) {
        if (plugged) {
            unit = rig.PlugUnit();
        }
        CFlashTransferDlg* dlg = rig.Open(ProfileOf(GetParam()));
        EXPECT_NE(dlg, nullptr);
        if (plugged) {
            EXPECT_TRUE(PumpUntil([dlg] { return dlg->Controller().DeviceReady(); }));
        }
        return *dlg;
    }

    HWND Window() const { return rig.dlg->GetSafeHwnd(); }
    bool StartEnabled() const { return IsWindowEnabled(rig.Item(IDC_START)) != FALSE; }
    bool ShowsPlaceholders() const {
        HWND list = rig.Item(IDC_LIST);
        if (SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) != IDENTITY_ROW_COUNT) {
            return false;
        }
        for (int row = 0; row < IDENTITY_ROW_COUNT; ++row) {
            if (ListCell(list, row, IDENTITY_LABEL_COLUMN) != Wide(IDENTITY_ROW_LABELS[row]) ||
                ListCell(list, row, IDENTITY_VALUE_COLUMN) != Wide(IDENTITY_PLACEHOLDER)) {
                return false;
            }
        }
        return true;
    }
    UINT MenuState(UINT commandId) const {
        return GetMenuState(GetMenu(Window()), commandId, MF_BYCOMMAND);
    }
    std::string File(const char* name) const { return rig.folder.File(name); }

    WindowRig rig;
    std::int32_t unit = -1;
};

LOGFONTW FontOf(HWND control) {
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof(font),
               &font);
    return font;
}

TEST_P(WindowTest, StartsWithTheModelsTitleLayoutMenuAndEmptyRows) {
    const VariantProfile& profile = ProfileOf(GetParam());
    Open(false);
    EXPECT_EQ(WindowText(Window()), Wide(ProgramTitle(profile)));
    // 96 DPI, or the scale of the suite's prefix (KNOT_WINDOW_DPI).
    const int dpi = std::getenv("KNOT_WINDOW_DPI") ? std::atoi(std::getenv("KNOT_WINDOW_DPI")) : 96;
    HDC screen = GetDC(Window());
    ASSERT_EQ(GetDeviceCaps(screen, LOGPIXELSY), dpi);
    ReleaseDC(Window(), screen);

    struct Control {
        int id;
        const wchar_t* className;
        RECT units; // x, y, width, height in dialog units
    };
    const Control controls[] = {{IDC_LIST, WC_LISTVIEWW, {7, 7, 175, 44}},
                                {IDC_START, L"Button", {190, 7, 50, 44}},
                                {IDC_PROGRESS, PROGRESS_CLASSW, {7, 75, 233, 18}},
                                {IDC_STATUS, L"Static", {7, 59, 233, 14}}};
    RECT places[4] = {};
    RECT* place = places;
    for (const Control& control : controls) {
        HWND item = rig.Item(control.id);
        ASSERT_NE(item, nullptr) << control.id;
        wchar_t className[64] = {};
        GetClassNameW(item, className, 64);
        EXPECT_EQ(_wcsicmp(className, control.className), 0) << control.id << " " << className;
        // The dialog manager converts position and size each on its own.
        RECT expected = control.units;
        MapDialogRect(Window(), &expected);
        expected.right += expected.left;
        expected.bottom += expected.top;
        RECT actual{};
        GetWindowRect(item, &actual);
        MapWindowPoints(nullptr, Window(), reinterpret_cast<POINT*>(&actual), 2);
        EXPECT_EQ(actual.left, expected.left) << control.id;
        EXPECT_EQ(actual.top, expected.top) << control.id;
        EXPECT_EQ(actual.right, expected.right) << control.id;
        EXPECT_EQ(actual.bottom, expected.bottom) << control.id;
        *place++ = actual;
    }
    // The template's client area is kept below the menu bar.
    RECT client{};
    GetClientRect(Window(), &client);
    RECT template102{0, 0, 247, 100};
    MapDialogRect(Window(), &template102);
    EXPECT_EQ(client.right, template102.right);
    EXPECT_EQ(client.bottom, template102.bottom);

    // The model's menu bar, item by item.
    HMENU bar = GetMenu(Window());
    ASSERT_NE(bar, nullptr);
    ASSERT_EQ(GetMenuItemCount(bar), static_cast<int>(profile.menuBar.size()));
    for (std::size_t m = 0; m < profile.menuBar.size(); ++m) {
        wchar_t text[128] = {};
        GetMenuStringW(bar, static_cast<UINT>(m), text, 128, MF_BYPOSITION);
        EXPECT_EQ(text, Wide(profile.menuBar[m].title));
        HMENU popup = GetSubMenu(bar, static_cast<int>(m));
        ASSERT_EQ(GetMenuItemCount(popup), static_cast<int>(profile.menuBar[m].items.size()));
        for (std::size_t i = 0; i < profile.menuBar[m].items.size(); ++i) {
            EXPECT_EQ(GetMenuItemID(popup, static_cast<int>(i)),
                      profile.menuBar[m].items[i].commandId);
        }
    }
    if (profile.hasInitializeCommand) {
        EXPECT_TRUE(MenuState(ID_DATA_INITIALIZE) & MF_GRAYED);
    }

    EXPECT_FALSE(StartEnabled());
    EXPECT_TRUE(ShowsPlaceholders());
    HWND list = rig.Item(IDC_LIST);
    EXPECT_EQ(SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0), 0x21);
    // Two columns of 150 pixels at 96 DPI that fill the list, its last row inside it, and the
    // status text as high as the bold text.
    const LRESULT column = SendMessageW(list, LVM_GETCOLUMNWIDTH, 0, 0);
    EXPECT_EQ(column, MulDiv(150, dpi, 96));
    EXPECT_EQ(SendMessageW(list, LVM_GETCOLUMNWIDTH, 1, 0), column);
    RECT inside{}, row{LVIR_BOUNDS, 0, 0, 0}, status{};
    GetClientRect(list, &inside);
    EXPECT_LE(2 * column, inside.right);
    EXPECT_GE(2 * column, inside.right * 9 / 10);
    SendMessageW(list, LVM_GETITEMRECT, IDENTITY_ROW_COUNT - 1, reinterpret_cast<LPARAM>(&row));
    EXPECT_LE(row.bottom, inside.bottom);
    GetClientRect(rig.Item(IDC_STATUS), &status);
    EXPECT_GE(status.bottom, -FontOf(list).lfHeight);
    EXPECT_EQ(GetFocus(), list);

    // The bold font: the dialog font with exactly the listed changes, on Start, list and status.
    const LOGFONTW dialogFont = FontOf(rig.Item(IDC_PROGRESS));
    for (int id : {IDC_START, IDC_LIST, IDC_STATUS}) {
        const LOGFONTW bold = FontOf(rig.Item(id));
        EXPECT_EQ(bold.lfHeight, MulDiv(-19, dpi, 96)) << id;
        EXPECT_EQ(bold.lfWeight, 700) << id;
        EXPECT_EQ(bold.lfOutPrecision, 3) << id;
        EXPECT_EQ(bold.lfClipPrecision, 2) << id;
        EXPECT_EQ(bold.lfQuality, 1) << id;
        EXPECT_EQ(bold.lfPitchAndFamily, 0x32) << id;
        EXPECT_EQ(bold.lfCharSet, dialogFont.lfCharSet) << id;
        EXPECT_EQ(std::wstring(bold.lfFaceName), std::wstring(dialogFont.lfFaceName)) << id;
    }
    EXPECT_NE(FontOf(rig.Item(IDC_PROGRESS)).lfWeight, 700);

    // Moved to a monitor of 1.5 times the scale: the window takes the frame offered, and the
    // controls, the columns and the bold font follow.
    RECT frame{};
    GetWindowRect(Window(), &frame);
    RECT offered{frame.left, frame.top, frame.left + (frame.right - frame.left) * 3 / 2,
                 frame.top + (frame.bottom - frame.top) * 3 / 2};
    SendMessageW(Window(), WM_DPICHANGED, MAKEWPARAM(dpi * 3 / 2, dpi * 3 / 2),
                 reinterpret_cast<LPARAM>(&offered));
    GetWindowRect(Window(), &frame);
    EXPECT_TRUE(EqualRect(&frame, &offered));
    for (int i = 0; i < 4; ++i) {
        RECT actual{};
        GetWindowRect(rig.Item(controls[i].id), &actual);
        MapWindowPoints(nullptr, Window(), reinterpret_cast<POINT*>(&actual), 2);
        EXPECT_EQ(actual.right, MulDiv(places[i].right, 3, 2)) << controls[i].id;
        EXPECT_EQ(actual.bottom, MulDiv(places[i].bottom, 3, 2)) << controls[i].id;
    }
    EXPECT_EQ(SendMessageW(list, LVM_GETCOLUMNWIDTH, 1, 0), MulDiv(150, dpi * 3 / 2, 96));
    EXPECT_EQ(FontOf(rig.Item(IDC_START)).lfHeight, MulDiv(-19, dpi * 3 / 2, 96));
}

TEST_P(WindowTest, ArrivalFillsTheRowsAndStartFollowsTheLoadedFile) {
    const VariantProfile& profile = ProfileOf(GetParam());
    const std::string good = File("good.mot");
    const std::string rejected = File("rejected.mot");
    const std::string locked = File("locked.mot");
    ASSERT_TRUE(WriteSRecordFile(good, profile, 64, 0));
    ASSERT_TRUE(WriteRejectedFile(rejected));
    ASSERT_TRUE(WriteSRecordFile(locked, profile, 64, 0));
    Open(true);
    HWND list = rig.Item(IDC_LIST);
    EXPECT_EQ(ListCell(list, 0, IDENTITY_VALUE_COLUMN), L"PROGNAME");
    EXPECT_EQ(ListCell(list, 1, IDENTITY_VALUE_COLUMN), L"V1.10");
    EXPECT_NE(ListCell(list, 2, IDENTITY_VALUE_COLUMN), Wide(IDENTITY_PLACEHOLDER));
    EXPECT_FALSE(StartEnabled()); // no image yet
    if (profile.hasInitializeCommand) {
        EXPECT_FALSE(MenuState(ID_DATA_INITIALIZE) & MF_GRAYED);
    }

    // A file the loader cannot open: held by another handle that shares nothing.
    HANDLE holder =
        CreateFileA(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);

    struct Step {
        std::string file; // empty: the chooser is cancelled
        const char* text; // the one message box, or nullptr for none
        bool stopIcon;
        bool startAfter;
    };
    const Step steps[] = {
        {good, LOAD_DONE_TEXT, false, true},
        {"", nullptr, false, true}, // cancelling keeps the image and Start
        {rejected, LOAD_REJECTED_TEXT, true, false},
        {good, LOAD_DONE_TEXT, false, true},
        {locked, nullptr, true, false}, // the file-error message names the file
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.file.empty() ? "cancelled" : step.file);
        ModalAnswerer answerer(Window());
        answerer.fileToChoose = step.file;
        SendMessageW(Window(), WM_COMMAND, ID_FILE_OPEN, 0);
        ASSERT_EQ(answerer.choosers.size(), 1u);
        const ModalAnswerer::Chooser& chooser = answerer.choosers[0];
        for (bool hidden : chooser.hidden) {
            EXPECT_TRUE(hidden);
        }
        EXPECT_EQ(chooser.childSize.cx, 10);
        EXPECT_EQ(chooser.childSize.cy, 10);
        if (step.file.empty()) {
            EXPECT_TRUE(answerer.boxes.empty());
        } else {
            ASSERT_EQ(answerer.boxes.size(), 1u);
            EXPECT_EQ(answerer.boxes[0].caption, Wide(ProgramTitle(profile)));
            EXPECT_EQ(answerer.boxes[0].stopIcon, step.stopIcon);
            if (step.text != nullptr) {
                EXPECT_EQ(answerer.boxes[0].text, Wide(step.text));
            } else {
                EXPECT_NE(answerer.boxes[0].text.find(L"locked.mot"), std::wstring::npos);
            }
        }
        EXPECT_EQ(StartEnabled(), step.startAfter);
    }
    CloseHandle(holder);
}

TEST_P(WindowTest, WholeRunEndsWithTheClosingMessage) {
    const VariantProfile& profile = ProfileOf(GetParam());
    const int flashBytes = GetParam() == 'p' ? 96 : 0;
    const std::string file = File("image.mot");
    // Flash data at the region's start: a few flash blocks, each one a step.
    ASSERT_TRUE(WriteSRecordFile(file, profile, 100, flashBytes, 0));
    CFlashTransferDlg& dlg = Open(true);
    ModalAnswerer answerer(Window());
    answerer.fileToChoose = file;
    SendMessageW(Window(), WM_COMMAND, ID_FILE_OPEN, 0);
    ASSERT_TRUE(StartEnabled());

    // Enter with the focus on Start (moved there as Tab would) presses it.
    SendMessageW(Window(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(rig.Item(IDC_START)), TRUE);
    PostMessageW(rig.Item(IDC_START), WM_KEYDOWN, VK_RETURN, 0);
    ASSERT_TRUE(PumpUntil([&] { return dlg.Controller().IsDownloadRunning(); }));
    EXPECT_FALSE(StartEnabled());
    EXPECT_TRUE(MenuState(ID_FILE_OPEN) & MF_GRAYED); // no load under a running download
    ASSERT_TRUE(PumpUntil([&] { return answerer.boxes.size() == 2u; }));

    EXPECT_EQ(answerer.boxes[1].text, Wide(DOWNLOAD_DONE_TEXT));
    EXPECT_FALSE(answerer.boxes[1].stopIcon);
    EXPECT_EQ(ItemText(Window(), IDC_STATUS), L"");
    EXPECT_EQ(SendMessageW(rig.Item(IDC_PROGRESS), PBM_GETRANGE, FALSE, 0),
              static_cast<LRESULT>(profile.commitWaitSteps));
    EXPECT_FALSE(StartEnabled());
    EXPECT_TRUE(ShowsPlaceholders());
    EXPECT_EQ(rig.sleeps, static_cast<int>(profile.commitWaitSteps) + 1);
    const DownloadReport& report = dlg.Controller().Core().Report();
    EXPECT_TRUE(report.succeeded);
    EXPECT_EQ(report.cpuBlocksSent, 4u);
    const FirmwareImage& image = dlg.Controller().Image();
    EXPECT_EQ(report.flashBlocksSent, image.FlashBlockCount());
    const std::vector<std::uint8_t> cpu = rig.port.CpuMemory(unit);
    EXPECT_TRUE(std::equal(cpu.begin(), cpu.begin() + 128, image.CpuRegion.begin()));
    if (flashBytes > 0) {
        const std::vector<std::uint8_t> flash = rig.port.FlashMemory(unit);
        EXPECT_TRUE(std::equal(flash.begin(), flash.begin() + image.flashExtent,
                               image.FlashRegion.begin()));
    }
}

// A run that goes wrong: a refused block, the unit vanishing, or the operator closing.
TEST_P(WindowTest, RunThatEndsEarly) {
    const VariantProfile& profile = ProfileOf(GetParam());
    const std::string file = File("image.mot");
    ASSERT_TRUE(WriteSRecordFile(file, profile, 4096, 0));
    enum class Ending { Refused, Unplugged, Closed };
    for (Ending ending : {Ending::Refused, Ending::Unplugged, Ending::Closed}) {
        SCOPED_TRACE(static_cast<int>(ending));
        WindowRig rig;
        UnitConfig config;
        if (ending == Ending::Refused) {
            config.faults.push_back({FaultKind::Refuse, FaultTrigger::CpuBlock, 40});
        } else if (ending == Ending::Unplugged) {
            config.faults.push_back({FaultKind::Unplug, FaultTrigger::CpuBlock, 40});
        }
        const std::int32_t number = rig.port.Plug(config);
        CFlashTransferDlg* dlg = rig.Open(profile);
        ASSERT_NE(dlg, nullptr);
        ASSERT_TRUE(PumpUntil([&] { return dlg->Controller().DeviceReady(); }));
        ModalAnswerer answerer(dlg->GetSafeHwnd());
        dlg->Controller().OnFileChosen(file); // the chooser has its own test above
        ASSERT_EQ(answerer.BoxTexts(), std::vector<std::wstring>{Wide(LOAD_DONE_TEXT)});
        SendMessageW(dlg->GetSafeHwnd(), WM_COMMAND, IDC_START, 0);
        HWND start = rig.Item(IDC_START);
        if (ending == Ending::Closed) {
            ASSERT_TRUE(
                PumpUntil([&] { return dlg->Controller().Core().Report().cpuBlocksSent >= 10; }));
            PostMessageW(dlg->GetSafeHwnd(), WM_CLOSE, 0, 0);
            ASSERT_TRUE(PumpUntil([&] { return dlg->IsClosed(); }));
            const std::size_t sent = dlg->Controller().Core().Report().cpuBlocksSent;
            PumpPending();
            // The close ended the run within one step, and the workers are stopped.
            EXPECT_LE(dlg->Controller().Core().Report().cpuBlocksSent, sent + 1);
            EXPECT_FALSE(IsWindow(start));
            EXPECT_FALSE(dlg->Controller().Session().IsPollerRunning());
            EXPECT_FALSE(dlg->Controller().Session().IsWatcherRunning());
            EXPECT_EQ(answerer.boxes.size(), 1u);
            continue;
        }
        ASSERT_TRUE(PumpUntil([&] { return answerer.boxes.size() == 2u; }));
        EXPECT_EQ(answerer.boxes[1].text, Wide(DOWNLOAD_FAILED_TEXT));
        EXPECT_TRUE(answerer.boxes[1].stopIcon);
        EXPECT_EQ(ItemText(dlg->GetSafeHwnd(), IDC_STATUS), L"");
        if (ending == Ending::Refused) {
            EXPECT_TRUE(IsWindowEnabled(start)); // Start is given back
            // The bar stays on the last block the unit took, exactly, though that moved the
            // filled part by less than a pixel.
            EXPECT_EQ(SendMessageW(rig.Item(IDC_PROGRESS), PBM_GETPOS, 0, 0),
                      static_cast<LRESULT>(dlg->Controller().Core().Report().cpuBlocksSent));
        } else {
            ASSERT_TRUE(PumpUntil([&] { return !dlg->Controller().DeviceReady(); }));
            EXPECT_FALSE(IsWindowEnabled(start));
            EXPECT_EQ(rig.port.PluggedUnits().size(), 0u);
        }
        (void)number;
    }
}

// The keys and the commands without a unit: what ends the window and what does not.
TEST_P(WindowTest, KeysAndCommands) {
    const VariantProfile& profile = ProfileOf(GetParam());
    struct Case {
        const char* what;
        UINT message;
        WPARAM wParam;
        bool toList; // posted to the list (which has the focus) rather than sent to the window
        bool closes;
        bool opensAbout;
    };
    const Case cases[] = {
        {"Escape", WM_KEYDOWN, VK_ESCAPE, true, true, false},
        {"Enter on the list", WM_KEYDOWN, VK_RETURN, true, true, false},
        {"close box", WM_CLOSE, 0, false, true, false},
        {"F1", WM_KEYDOWN, VK_F1, true, false, false},
        {"help command", WM_COMMAND, ID_HELP, false, false, false},
        {"About P", WM_COMMAND, ID_APP_ABOUT_P, false, false, true},
        {"About Q", WM_COMMAND, ID_APP_ABOUT_Q, false, false, true},
        {"About R", WM_COMMAND, ID_APP_ABOUT_R, false, false, true},
        {"About V", WM_COMMAND, ID_APP_ABOUT_V, false, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WindowRig rig;
        CFlashTransferDlg* dlg = rig.Open(profile);
        ASSERT_NE(dlg, nullptr);
        ASSERT_TRUE(dlg->Controller().Session().IsPollerRunning());
        ModalAnswerer answerer(dlg->GetSafeHwnd());
        HWND target = c.toList ? rig.Item(IDC_LIST) : dlg->GetSafeHwnd();
        ASSERT_EQ(GetFocus(), rig.Item(IDC_LIST));
        PostMessageW(target, c.message, c.wParam, 0);
        if (c.message == WM_KEYDOWN) {
            PostMessageW(target, WM_KEYUP, c.wParam, 0);
        }
        PumpPending();
        EXPECT_EQ(dlg->IsClosed(), c.closes);
        EXPECT_EQ(IsWindow(dlg->GetSafeHwnd()) != FALSE, !c.closes);
        EXPECT_EQ(dlg->Controller().Session().IsPollerRunning(), !c.closes);
        EXPECT_TRUE(answerer.boxes.empty());
        EXPECT_TRUE(answerer.choosers.empty());
        if (c.opensAbout) {
            ASSERT_EQ(answerer.aboutCaptions.size(), 1u);
            EXPECT_EQ(answerer.aboutCaptions[0], Wide(profile.aboutCaption));
            EXPECT_EQ(answerer.aboutFirstLines[0], Wide(profile.aboutFirstLine));
        } else {
            EXPECT_TRUE(answerer.aboutCaptions.empty());
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Models, WindowTest, ::testing::Values('q', 'p'),
                         [](const auto& info) { return std::string(1, info.param); });

// Stand-ins for the system's calls, each telling a DPI of its own.
UINT WINAPI DpiOfWindow120(HWND) {
    return 120;
}
UINT WINAPI DpiOfWindowUnknown(HWND) {
    return 0;
}
HRESULT WINAPI DpiOfMonitor144(HMONITOR, MONITOR_DPI_TYPE, UINT* x, UINT* y) {
    *x = *y = 144;
    return S_OK;
}
HRESULT WINAPI DpiOfMonitorRefused(HMONITOR, MONITOR_DPI_TYPE, UINT*, UINT*) {
    return E_INVALIDARG;
}

// A Windows without the newer calls falls back to the next older one: per-monitor version 2
// (the window's own DPI), then version 1 (its monitor's), then the screen's.
TEST(WindowDpiFallback, EachMissingCallFallsBackToTheNextOlderOne) {
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0') {
        GTEST_SKIP() << "Wine shows windows only with a display (run under Xvfb)";
    }
    WindowRig rig;
    ASSERT_NE(rig.Open(VariantQProfile()), nullptr);
    HWND window = rig.dlg->GetSafeHwnd();
    HDC dc = GetDC(window);
    const UINT screen = static_cast<UINT>(GetDeviceCaps(dc, LOGPIXELSY));
    ReleaseDC(window, dc);
    struct Case {
        const char* windows;
        DpiCalls calls;
        UINT dpi;
    };
    const Case cases[] = {
        {"10 1607 and later", {DpiOfWindow120, DpiOfMonitor144}, 120},
        {"10 1607, the window's DPI unknown", {DpiOfWindowUnknown, DpiOfMonitor144}, 144},
        {"8.1", {nullptr, DpiOfMonitor144}, 144},
        {"8.1, the monitor's DPI refused", {nullptr, DpiOfMonitorRefused}, screen},
        {"7", {nullptr, nullptr}, screen},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(WindowDpi(window, c.calls), c.dpi) << "Windows " << c.windows;
    }
    // Wine has both calls: their names are looked up right.
    EXPECT_NE(SystemDpiCalls().dpiForWindow, nullptr);
    EXPECT_NE(SystemDpiCalls().dpiForMonitor, nullptr);
}

TEST(DumpSwitch, OnlyTheExactFirstArgumentCounts) {
    struct Case {
        const wchar_t* commandLine;
        bool given;
    };
    const Case cases[] = {
        {L"KNOT-Q_FDT.exe /FILE", true},
        {L"\"C:\\Program Files\\KNOT-Q_FDT.exe\" /FILE extra", true},
        {L"KNOT-Q_FDT.exe", false},
        {L"KNOT-Q_FDT.exe /file", false},
        {L"KNOT-Q_FDT.exe /FILEX", false},
        {L"KNOT-Q_FDT.exe x /FILE", false},
        {L"/FILE", false}, // the program's own name is not an argument
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DumpSwitchGiven(c.commandLine), c.given) << NarrowText(c.commandLine);
    }
}

} // namespace
