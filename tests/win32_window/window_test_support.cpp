#include "knot_names.h"

#include "window_test_support.h"

#include "resource_ids.h"
#include "variant_profile.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <fstream>

namespace {

// Control ids inside the platform's own message box.
constexpr int kMessageBoxTextId = 0xFFFF;
constexpr int kMessageBoxIconId = 0x0440;
constexpr UINT kAnswerPeriodMs = 5;

ModalAnswerer* g_answerer = nullptr;

struct ModalSearch {
    HWND main;
    HWND found;
};

BOOL CALLBACK FindModal(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<ModalSearch*>(context);
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    // The modal window is the enabled dialog of this thread other than the main window.
    if (window != search->main && IsWindowVisible(window) && IsWindowEnabled(window) &&
        std::wstring(className) == L"#32770") {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK FindChildDialog(HWND window, LPARAM context) {
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    if (std::wstring(className) == L"#32770") {
        *reinterpret_cast<HWND*>(context) = window;
        return FALSE;
    }
    return TRUE;
}

} // namespace

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (done()) {
            return true;
        }
        if (PumpOne()) {
            continue; // the condition is checked after every message
        }
        const auto left = deadline - std::chrono::steady_clock::now();
        if (left <= std::chrono::steady_clock::duration::zero()) {
            return false;
        }
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(left).count();
        MsgWaitForMultipleObjects(0, nullptr, FALSE,
                                  static_cast<DWORD>(std::min<long long>(wait, 10)), QS_ALLINPUT);
    }
}

bool PumpOne() {
    MSG message{};
    if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        return false;
    }
    // The dialog manager's keyboard handling, as the modal loop applies it.
    HWND dialog = GetAncestor(message.hwnd, GA_ROOT);
    if (dialog == nullptr || !IsDialogMessageW(dialog, &message)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return true;
}

void PumpPending() {
    while (PumpOne()) {
    }
}

ModalAnswerer::ModalAnswerer(HWND mainWindow)
    : m_main(mainWindow), m_timer(SetTimer(nullptr, 0, kAnswerPeriodMs, OnTimer)) {
    g_answerer = this;
}

ModalAnswerer::~ModalAnswerer() {
    KillTimer(nullptr, m_timer);
    g_answerer = nullptr;
}

std::vector<std::wstring> ModalAnswerer::BoxTexts() const {
    std::vector<std::wstring> texts;
    for (const Box& box : boxes) {
        texts.push_back(box.text);
    }
    return texts;
}

void CALLBACK ModalAnswerer::OnTimer(HWND, UINT, UINT_PTR, DWORD) {
    if (g_answerer == nullptr || g_answerer->m_answering) {
        return; // none, or a callback of ours is running a nested loop
    }
    ModalSearch search{g_answerer->m_main, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), FindModal, reinterpret_cast<LPARAM>(&search));
    if (search.found != nullptr) {
        g_answerer->m_answering = true;
        g_answerer->Answer(search.found);
        g_answerer->m_answering = false;
    }
}

void ModalAnswerer::Answer(HWND modal) {
    if (whileModalOpen) {
        whileModalOpen(modal);
    }
    if (GetDlgItem(modal, kMessageBoxTextId) != nullptr) {
        const auto icon = reinterpret_cast<HICON>(
            SendDlgItemMessageW(modal, kMessageBoxIconId, STM_GETICON, 0, 0));
        boxes.push_back({WindowText(modal), ItemText(modal, kMessageBoxTextId),
                         icon == LoadIconW(nullptr, IDI_HAND)});
        PostMessageW(modal, WM_COMMAND, IDOK, 0);
    } else if (GetDlgItem(modal, IDC_CHOOSER_FILE_TYPE_LIST) != nullptr) {
        Chooser chooser{};
        const int hidden[] = {IDC_CHOOSER_FILE_NAME_BOX, IDC_CHOOSER_FILE_TYPE_LABEL,
                              IDC_CHOOSER_FILE_NAME_LABEL, IDC_CHOOSER_FILE_TYPE_LIST,
                              IDC_CHOOSER_FILE_NAME_COMBO};
        for (int i = 0; i < 5; ++i) {
            chooser.hidden[i] = !IsWindowVisible(GetDlgItem(modal, hidden[i]));
        }
        HWND child = nullptr;
        EnumChildWindows(modal, FindChildDialog, reinterpret_cast<LPARAM>(&child));
        RECT rect{};
        if (child != nullptr) {
            GetWindowRect(child, &rect);
        }
        chooser.childSize = {rect.right - rect.left, rect.bottom - rect.top};
        choosers.push_back(chooser);
        if (fileToChoose.empty()) {
            PostMessageW(modal, WM_COMMAND, IDCANCEL, 0);
        } else {
            // The name box is hidden from the operator, not from the dialog: it still reads it.
            HWND nameBox = GetDlgItem(modal, IDC_CHOOSER_FILE_NAME_BOX);
            if (HWND combo = GetDlgItem(modal, IDC_CHOOSER_FILE_NAME_COMBO)) {
                nameBox = FindWindowExW(FindWindowExW(combo, nullptr, L"ComboBox", nullptr),
                                        nullptr, L"Edit", nullptr);
            }
            SetWindowTextA(nameBox, fileToChoose.c_str());
            PostMessageW(modal, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(modal, IDOK)));
        }
    } else if (GetDlgItem(modal, IDC_ABOUT_FIRST_LINE) != nullptr) {
        aboutCaptions.push_back(WindowText(modal));
        aboutFirstLines.push_back(ItemText(modal, IDC_ABOUT_FIRST_LINE));
        PostMessageW(modal, WM_KEYDOWN, VK_ESCAPE, 0);
    }
}

std::wstring WindowText(HWND window) {
    wchar_t text[512] = {};
    GetWindowTextW(window, text, 512);
    return text;
}

std::wstring ItemText(HWND dialog, int id) {
    return WindowText(GetDlgItem(dialog, id));
}

std::wstring ListCell(HWND list, int row, int column) {
    wchar_t text[256] = {};
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = 256;
    SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return text;
}

WindowRig::WindowRig() : log(folder.File("debugZu.txt"), folder.File("debugZu.1.txt")) {}

WindowRig::~WindowRig() {
    dlg.reset(); // stops the workers before the port goes
}

CFlashTransferDlg* WindowRig::Open(const VariantProfile& profile, bool dumpImages) {
    LogicServices services;
    services.sleep = [this](std::chrono::milliseconds) { ++sleeps; };
    services.beep = [] {};
    dlg = std::make_unique<CFlashTransferDlg>(profile, port, log, dumpImages, std::move(services));
    if (dlg->Create() == nullptr) {
        dlg.reset();
        return nullptr;
    }
    return dlg.get();
}

std::int32_t WindowRig::PlugUnit() {
    UnitConfig unit;
    unit.programName = "PROGNAME";
    unit.version = "V1.10";
    unit.checksum = 0x005A;
    return port.Plug(unit);
}

namespace {

// One S1 (16-bit address) or S3 (32-bit address) record.
std::string Record(std::uint32_t address, const std::vector<std::uint8_t>& data) {
    const bool wide = address > 0xFFFF;
    const int addressBytes = wide ? 4 : 2;
    std::vector<std::uint8_t> bytes{static_cast<std::uint8_t>(addressBytes + data.size() + 1)};
    for (int shift = (addressBytes - 1) * 8; shift >= 0; shift -= 8) {
        bytes.push_back(static_cast<std::uint8_t>((address >> shift) & 0xFF));
    }
    bytes.insert(bytes.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (std::uint8_t byte : bytes) {
        sum += byte;
    }
    bytes.push_back(static_cast<std::uint8_t>(~sum & 0xFF));
    std::string text = wide ? "S3" : "S1";
    char hex[3];
    for (std::uint8_t byte : bytes) {
        std::snprintf(hex, sizeof(hex), "%02X", byte);
        text += hex;
    }
    return text + "\r\n";
}

std::vector<std::uint8_t> Pattern(int size, int seed) {
    std::vector<std::uint8_t> data;
    for (int i = 0; i < size; ++i) {
        data.push_back(static_cast<std::uint8_t>((i * 7 + seed) & 0x7F)); // never a blank block
    }
    return data;
}

bool WriteText(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary);
    file << text;
    return static_cast<bool>(file);
}

} // namespace

bool WriteSRecordFile(const std::string& path, const VariantProfile& profile, int cpuBytes,
                      int flashBytes, std::uint32_t flashOffset) {
    std::string text = "S00600004844521B\r\n";
    for (int offset = 0; offset < cpuBytes; offset += 16) {
        text += Record(static_cast<std::uint32_t>(offset),
                       Pattern(std::min(16, cpuBytes - offset), offset));
    }
    const std::uint32_t flashStart = profile.flashBase + flashOffset;
    for (int offset = 0; offset < flashBytes; offset += 16) {
        text += Record(flashStart + static_cast<std::uint32_t>(offset),
                       Pattern(std::min(16, flashBytes - offset), offset + 3));
    }
    return WriteText(path, text + "S9030000FC\r\n");
}

bool WriteRejectedFile(const std::string& path) {
    return WriteText(path, "S113ZZ00000102030405060708090A0B0C0D0E0F00\r\n");
}
