#include "flash_transfer_dlg.h"

#include "about_dlg.h"
#include "ex_file_dialog.h"
#include "menu_bar.h"
#include "resource_ids.h"
#include "variant_profile.h"
#include "win32_text.h"
#include "window_dpi.h"

#include <commctrl.h>

#include <algorithm>

namespace knot::win32 {
using namespace knot::core;

namespace {

// The bold font: a character height of 19 pixels at 96 DPI, bold, stroke precisions, draft
// quality, variable pitch in the modern family.
constexpr LONG kBoldFontHeight = -19;
constexpr LONG kBoldFontWeight = FW_BOLD;
constexpr BYTE kBoldFontPitchAndFamily = VARIABLE_PITCH | FF_MODERN;

constexpr int kListColumnWidth = 150; // pixels at 96 DPI
// Grid lines and full-row selection, and nothing else.
constexpr DWORD kListExtendedStyles = LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT;
static_assert(kListExtendedStyles == 0x21);

bool IsPostedWindowMessage(UINT message) {
    switch (message) {
    case WM_DEVICE_ARRIVED:
    case WM_DEVICE_REMOVED:
    case WM_CPU_BLOCK_STEP:
    case WM_FLASH_BLOCK_STEP:
    case WM_COMMIT_STEP:
        return true;
    default:
        return false;
    }
}

} // namespace

HINSTANCE ResourceModule() {
    return GetModuleHandleW(nullptr);
}

CFlashTransferDlg::CFlashTransferDlg(const VariantProfile& profile, DriverPort& port,
                                     TransferLog& log, bool dumpImages, LogicServices services)
    : m_profile(profile), m_port(port), m_log(log), m_bDumpImages(dumpImages),
      m_services(std::move(services)) {}

CFlashTransferDlg::~CFlashTransferDlg() {
    if (m_controller && !m_bClosed) {
        m_controller->OnClose();
    }
    if (m_hWnd != nullptr && !m_bModal) {
        DestroyWindow(m_hWnd);
    }
    while (m_waitCursorDepth > 0) {
        EndWaitCursor();
    }
    if (m_boldFont != nullptr) {
        DeleteObject(m_boldFont); // the controls that used it are gone with the window
    }
    if (m_hIcon != nullptr) {
        DestroyIcon(m_hIcon);
    }
}

INT_PTR CFlashTransferDlg::DoModal(HWND owner) {
    return RunModal(ResourceModule(), IDD_FLASH_TRANSFER_DIALOG, owner);
}

HWND CFlashTransferDlg::Create(HWND owner) {
    return CreateModeless(ResourceModule(), IDD_FLASH_TRANSFER_DIALOG, owner);
}

INT_PTR CFlashTransferDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (IsPostedWindowMessage(message)) {
        if (!m_bClosed) { // messages still queued when the window closed are dropped
            m_controller->OnWindowMessage(static_cast<WindowMessage>(message), wParam);
        }
        return TRUE;
    }
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog();
    case WM_COMMAND:
        OnCommand(LOWORD(wParam));
        return TRUE;
    case WM_HELP:
        OnCommand(ID_HELP); // F1
        return TRUE;
    case WM_PAINT:
        if (IsIconic(m_hWnd)) {
            OnPaint();
            return TRUE;
        }
        return FALSE;
    case WM_ACTIVATE:
        m_bActive = LOWORD(wParam) != WA_INACTIVE;
        return FALSE;
    case WM_QUERYDRAGICON:
        return reinterpret_cast<INT_PTR>(m_hIcon);
    case WM_DPICHANGED:
        OnDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return TRUE;
    case WM_SETCURSOR:
        if (m_waitCursorDepth > 0) {
            SetCursor(LoadCursorW(nullptr, IDC_WAIT));
            SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, TRUE);
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

BOOL CFlashTransferDlg::OnInitDialog() {
    AttachMenuBar();
    m_status = GetDlgItem(m_hWnd, IDC_STATUS);
    m_progress = GetDlgItem(m_hWnd, IDC_PROGRESS);
    m_start = GetDlgItem(m_hWnd, IDC_START);
    m_list = GetDlgItem(m_hWnd, IDC_LIST);
    KeepDialogFromRescaling(m_hWnd);
    m_dpi = WindowDpi(m_hWnd);
    m_layoutDpi = m_dpi;
    int index = 0;
    for (HWND control : {m_list, m_start, m_progress, m_status}) {
        GetWindowRect(control, &m_layout[index]);
        MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&m_layout[index++]), 2);
    }
    EnableWindow(m_start, FALSE);

    // The title from the string table; it is also the caption of every message box (the logic
    // passes it with each one).
    const wchar_t* title = nullptr;
    const int length =
        LoadStringW(ResourceModule(), m_profile.titleStringId, reinterpret_cast<LPWSTR>(&title), 0);
    SetWindowTextW(m_hWnd, std::wstring(title != nullptr ? title : L"",
                                        static_cast<std::size_t>(std::max(length, 0)))
                               .c_str());

    ApplyDpi();
    InitializeList();

    m_controller = std::make_unique<FlashTransferController>(m_profile, *this, m_port, m_log,
                                                             std::move(m_services));
    m_controller->SetDumpImages(m_bDumpImages);
    m_controller->InitializeLogic();
    return TRUE; // the dialog manager puts the focus on the first control, the list
}

void CFlashTransferDlg::AttachMenuBar() {
    // The template's client area keeps its size with the menu bar above it, as it would with a
    // menu named in the template.
    RECT client{};
    GetClientRect(m_hWnd, &client);
    SetMenu(m_hWnd, CreateMenuBar(m_profile));
    RECT frame = client;
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(m_hWnd, GWL_STYLE)), TRUE,
                       static_cast<DWORD>(GetWindowLongPtrW(m_hWnd, GWL_EXSTYLE)));
    SetWindowPos(m_hWnd, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    // A menu bar that wraps onto a second line takes more room than the adjustment allowed.
    RECT now{};
    GetClientRect(m_hWnd, &now);
    const int missing = client.bottom - now.bottom;
    if (missing > 0) {
        SetWindowPos(m_hWnd, nullptr, 0, 0, frame.right - frame.left,
                     frame.bottom - frame.top + missing,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void CFlashTransferDlg::ApplyDpi() {
    LoadWindowIcon();
    MakeBoldFont();
}

void CFlashTransferDlg::LoadWindowIcon() {
    HICON previous = m_hIcon;
    m_iconSize = LargeIconSize(m_dpi);
    m_hIcon = static_cast<HICON>(LoadImageW(ResourceModule(), MAKEINTRESOURCEW(IDR_MAINFRAME),
                                            IMAGE_ICON, m_iconSize, m_iconSize, 0));
    SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    if (previous != nullptr) {
        DestroyIcon(previous);
    }
}

void CFlashTransferDlg::MakeBoldFont() {
    LOGFONTW font{};
    const auto dialogFont = reinterpret_cast<HFONT>(SendMessageW(m_hWnd, WM_GETFONT, 0, 0));
    GetObjectW(dialogFont, sizeof(font), &font);
    font.lfHeight = ScaleToDpi(kBoldFontHeight, m_dpi);
    font.lfWeight = kBoldFontWeight;
    font.lfOutPrecision = OUT_STROKE_PRECIS;
    font.lfClipPrecision = CLIP_STROKE_PRECIS;
    font.lfQuality = DRAFT_QUALITY;
    font.lfPitchAndFamily = kBoldFontPitchAndFamily;
    HFONT previous = m_boldFont;
    m_boldFont = CreateFontIndirectW(&font);
    for (HWND control : {m_start, m_list, m_status}) {
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(m_boldFont), TRUE);
    }
    if (previous != nullptr) {
        DeleteObject(previous); // no control uses it any more
    }
}

void CFlashTransferDlg::InitializeList() {
    struct Column {
        const wchar_t* heading;
        int format;
    };
    static constexpr Column kColumns[] = {{L"colum1", LVCFMT_LEFT}, {L"colum2", LVCFMT_CENTER}};
    for (int index = 0; index < 2; ++index) {
        LVCOLUMNW column{};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.fmt = kColumns[index].format;
        column.cx = ScaleToDpi(kListColumnWidth, m_dpi);
        column.pszText = const_cast<wchar_t*>(kColumns[index].heading);
        column.iSubItem = index;
        SendMessageW(m_list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index),
                     reinterpret_cast<LPARAM>(&column));
    }
    SendMessageW(m_list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, kListExtendedStyles);
}

void CFlashTransferDlg::SizeListColumns() {
    for (int index = 0; index < 2; ++index) {
        SendMessageW(m_list, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(index),
                     MAKELPARAM(ScaleToDpi(kListColumnWidth, m_dpi), 0));
    }
}

void CFlashTransferDlg::OnDpiChanged(UINT dpi, const RECT& suggested) {
    m_dpi = dpi;
    SetWindowPos(m_hWnd, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    // Each control where the template puts it at the new DPI.
    const int scale = static_cast<int>(dpi);
    const int layout = static_cast<int>(m_layoutDpi);
    int index = 0;
    for (HWND control : {m_list, m_start, m_progress, m_status}) {
        const RECT& place = m_layout[index++];
        const int left = MulDiv(place.left, scale, layout);
        const int top = MulDiv(place.top, scale, layout);
        SetWindowPos(control, nullptr, left, top, MulDiv(place.right, scale, layout) - left,
                     MulDiv(place.bottom, scale, layout) - top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    ApplyDpi();
    SizeListColumns();
}

void CFlashTransferDlg::OnCommand(UINT commandId) {
    switch (commandId) {
    case IDOK:     // Enter away from Start
    case IDCANCEL: // Escape and the close box
        CloseAction();
        break;
    default:
        RunWindowCommand(static_cast<int>(commandId), *m_controller, *this);
        break;
    }
}

std::optional<std::string> CFlashTransferDlg::ChooseSRecordFile() {
    CExFileDialog chooser(m_hWnd);
    if (!chooser.DoModal()) {
        return std::nullopt;
    }
    return chooser.GetPathName();
}

void CFlashTransferDlg::ShowAboutBox() {
    CAboutDlg about(m_profile);
    about.DoModal(m_hWnd);
}

void CFlashTransferDlg::OnPaint() {
    // Minimised: the icon, centred in the client area.
    PAINTSTRUCT paint{};
    HDC dc = BeginPaint(m_hWnd, &paint);
    SendMessageW(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client{};
    GetClientRect(m_hWnd, &client);
    const int x = (client.right - client.left - m_iconSize + 1) / 2;
    const int y = (client.bottom - client.top - m_iconSize + 1) / 2;
    DrawIconEx(dc, x, y, m_hIcon, m_iconSize, m_iconSize, 0, nullptr, DI_NORMAL);
    EndPaint(m_hWnd, &paint);
}

void CFlashTransferDlg::CloseAction() {
    if (!m_bClosed) {
        m_bClosed = true;
        m_controller->OnClose();
    }
    if (m_hWnd == nullptr) {
        return;
    }
    CloseDialog(IDCANCEL);
}

void CFlashTransferDlg::SetStatusText(std::string_view text) {
    SetWindowTextW(m_status, WidenText(text).c_str());
}

void CFlashTransferDlg::SetProgressRange(int maximum) {
    ApplyHeldProgressPos(); // a held position belongs to the old range
    m_progressMaximum = maximum;
    SendMessageW(m_progress, PBM_SETRANGE, 0, MAKELPARAM(0, maximum)); // a 16-bit maximum
}

void CFlashTransferDlg::SetProgressPos(int position) {
    // The bar repaints itself at once on every new position, and even with its paint held off
    // taking a position costs more than a whole step. Most steps leave the filled part at the
    // same width in pixels, so nothing would change on screen: such a position is only held,
    // and the bar takes it with the next position it shows, or before a message box, or before
    // its range changes.
    const int shown = static_cast<int>(SendMessageW(m_progress, PBM_GETPOS, 0, 0));
    if (position != shown && FilledWidth(position) == FilledWidth(shown)) {
        m_heldProgressPos = position;
        return;
    }
    m_heldProgressPos.reset();
    if (position != shown) {
        SendMessageW(m_progress, PBM_SETPOS, static_cast<WPARAM>(position), 0); // clamps
    }
}

int CFlashTransferDlg::FilledWidth(int position) const {
    RECT bar{};
    GetClientRect(m_progress, &bar);
    const int maximum = std::max(m_progressMaximum, 1);
    return MulDiv(bar.right - bar.left, std::clamp(position, 0, maximum), maximum);
}

void CFlashTransferDlg::ApplyHeldProgressPos() {
    if (!m_heldProgressPos) {
        return;
    }
    // The filled part keeps its width: the bar takes the position without painting.
    SendMessageW(m_progress, WM_SETREDRAW, FALSE, 0);
    SendMessageW(m_progress, PBM_SETPOS, static_cast<WPARAM>(*m_heldProgressPos), 0);
    SendMessageW(m_progress, WM_SETREDRAW, TRUE, 0);
    m_heldProgressPos.reset();
}

void CFlashTransferDlg::EnableStart(bool enable) {
    EnableWindow(m_start, enable ? TRUE : FALSE);
}

void CFlashTransferDlg::EnableOpenItem(bool enable) {
    EnableMenuItem(GetMenu(m_hWnd), ID_FILE_OPEN,
                   MF_BYCOMMAND | (enable ? MF_ENABLED : (MF_GRAYED | MF_DISABLED)));
}

void CFlashTransferDlg::EnableInitializeItem(bool enable) {
    HMENU second = GetSubMenu(GetMenu(m_hWnd), INITIALIZE_MENU_INDEX);
    if (second != nullptr) {
        EnableMenuItem(second, ID_DATA_INITIALIZE,
                       MF_BYCOMMAND | (enable ? MF_ENABLED : (MF_GRAYED | MF_DISABLED)));
    }
    DrawMenuBar(m_hWnd);
}

void CFlashTransferDlg::ClearIdentityList() {
    SendMessageW(m_list, LVM_DELETEALLITEMS, 0, 0);
}

void CFlashTransferDlg::SetIdentityText(int row, int column, std::string_view text) {
    if (row < 0 || column < 0 || column > IDENTITY_VALUE_COLUMN) {
        return;
    }
    // The unit's text is bytes, not UTF-8: each byte is shown as the character it stands for.
    std::wstring wide = WidenBytes(text);
    while (SendMessageW(m_list, LVM_GETITEMCOUNT, 0, 0) <= row) {
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = static_cast<int>(SendMessageW(m_list, LVM_GETITEMCOUNT, 0, 0));
        item.pszText = const_cast<wchar_t*>(L"");
        if (SendMessageW(m_list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)) < 0) {
            return;
        }
    }
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = wide.data();
    SendMessageW(m_list, LVM_SETITEMTEXTW, static_cast<WPARAM>(row),
                 reinterpret_cast<LPARAM>(&item));
}

void CFlashTransferDlg::ShowMessage(std::string_view caption, std::string_view text,
                                    MessageIcon icon) {
    ApplyHeldProgressPos(); // the run pauses or ends here: the bar holds its exact position
    // A nested loop: posted messages go on being handled while the box is open.
    MessageBoxW(m_hWnd, WidenText(text).c_str(), WidenText(caption).c_str(),
                MB_OK | (icon == MessageIcon::Stop ? MB_ICONSTOP : MB_ICONINFORMATION));
}

void CFlashTransferDlg::BeginWaitCursor() {
    ++m_waitCursorDepth;
    SetCursor(LoadCursorW(nullptr, IDC_WAIT));
}

void CFlashTransferDlg::EndWaitCursor() {
    if (m_waitCursorDepth > 0 && --m_waitCursorDepth == 0) {
        SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    }
}

void CFlashTransferDlg::PostWindowMessage(WindowMessage message, std::uintptr_t wParam) {
    // Workers post too: m_hWnd was set before any of them started.
    PostMessageW(m_hWnd, message, static_cast<WPARAM>(wParam), 0);
}

void CFlashTransferDlg::RefreshWindow() {
    // To the top of the Z order, and activated. The active window is there already, and the
    // call would only cost time on every step; so would asking for the foreground window, while
    // the window is told each time it gains or loses activation.
    if (!m_bActive && GetForegroundWindow() != m_hWnd) {
        SetWindowPos(m_hWnd, HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE);
    }
    // Repainted at once, the controls with it: the step messages queued behind would otherwise
    // hold back the paint until the run ends.
    RedrawWindow(m_hWnd, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

} // namespace knot::win32
