#include "station_dlg.h"

#include "model_option.h"
#include "station_about_dlg.h"
#include "station_file_chooser.h"
#include "station_resource_ids.h"
#include "tile_grid.h"
#include "win32_text.h"
#include "window_dpi.h"

#include <algorithm>

namespace knot::win32 {
namespace {

// Posted to the window: the kiosk command line once the window shows, and the close the desk
// asked for once the handler that asked has returned.
constexpr UINT WM_STATION_COMMAND_LINE = WM_APP + 1;
constexpr UINT WM_STATION_CLOSE_NOW = WM_APP + 2;
constexpr UINT_PTR kPollTimer = 1;
constexpr int kRefusedStatus = 1; // the command line was refused

// Sizes in pixels at 96 DPI.
constexpr int kWindowWidth = 980; // the window's first size, where the monitor has room
constexpr int kWindowHeight = 760;
constexpr int kMinimumWidth = 560;
constexpr int kMinimumHeight = 460;
constexpr int kMargin = 10;
constexpr int kGap = 8;
constexpr int kHeaderFont = 18;
constexpr int kDetailFont = 14;
constexpr int kTallyFont = 20;
constexpr int kStatusFont = 15;
// Below this client height the records' list shows half its lines, leaving the tiles the room.
constexpr int kShortClient = 700;

UINT MenuState(bool enable) {
    return MF_BYCOMMAND | (enable ? MF_ENABLED : (MF_GRAYED | MF_DISABLED));
}

} // namespace

CStationDlg::CStationDlg(DriverPortFactory ports, TransferLog& log,
                         std::vector<std::string> arguments)
    : m_ports(std::move(ports)), m_log(log), m_arguments(std::move(arguments)),
      m_desk(std::make_unique<StationDesk>(*this, m_ports, m_log)) {}

CStationDlg::~CStationDlg() {
    if (m_hWnd != nullptr && !m_bModal) {
        DestroyWindow(m_hWnd);
    }
    m_tiles.clear();
    m_desk.reset(); // waits for lanes still running, before the fonts and icons go
    for (HICON icon : {m_bigIcon, m_smallIcon}) {
        if (icon != nullptr) {
            DestroyIcon(icon);
        }
    }
}

INT_PTR CStationDlg::DoModal() {
    return RunModal(GetModuleHandleW(nullptr), IDD_STATION_DIALOG, nullptr);
}

HWND CStationDlg::Create() {
    return CreateModeless(GetModuleHandleW(nullptr), IDD_STATION_DIALOG, nullptr);
}

INT_PTR CStationDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog();
    case WM_STATION_COMMAND_LINE:
        OnCommandLine();
        return TRUE;
    case WM_STATION_CLOSE_NOW:
        EndWindow(0);
        return TRUE;
    case WM_COMMAND:
        OnCommand(LOWORD(wParam));
        return TRUE;
    case WM_CLOSE:
        OnClose();
        return TRUE;
    case WM_TIMER:
        if (wParam == kPollTimer) {
            OnTimer();
        }
        return TRUE;
    case WM_SIZE:
        Layout();
        return TRUE;
    case WM_GETMINMAXINFO: {
        // No smaller than its lines need, and no larger than the monitor, whatever its DPI.
        const RECT work = WorkArea();
        auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
        limits->ptMinTrackSize = {std::min<LONG>(Scaled(kMinimumWidth), work.right - work.left),
                                  std::min<LONG>(Scaled(kMinimumHeight), work.bottom - work.top)};
        return TRUE;
    }
    case WM_DPICHANGED:
        OnDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return TRUE;
    default:
        return FALSE;
    }
}

BOOL CStationDlg::OnInitDialog() {
    KeepDialogFromRescaling(m_hWnd);
    m_dpi = WindowDpi(m_hWnd);
    SetWindowTextW(m_hWnd, WidenText(STATION_TITLE).c_str());
    ChooseModel(m_model);
    LoadIcons();
    MakeFonts();
    PlaceWindow();
    Layout();
    PostMessageW(m_hWnd, WM_STATION_COMMAND_LINE, 0, 0); // once the window shows
    return TRUE;
}

void CStationDlg::OnCommandLine() {
    if (!m_desk->StartFromCommandLine(m_arguments)) {
        EndWindow(kRefusedStatus);
        return;
    }
    if (m_desk->Kiosk()) {
        ShowLoadedModel(); // the model the shortcut locked
    }
    SyncTimer();
}

void CStationDlg::OnCommand(UINT commandId) {
    switch (commandId) {
    case ID_STATION_OPEN:
        OnOpen();
        break;
    case ID_STATION_EXIT:
        OnClose();
        break;
    case ID_STATION_MODEL_Q:
        OnModelChosen("q");
        break;
    case ID_STATION_MODEL_P:
        OnModelChosen("p");
        break;
    case ID_STATION_START:
        m_desk->Start();
        break;
    case ID_STATION_STOP:
        m_desk->Stop();
        break;
    case ID_STATION_ABOUT:
        OnAbout();
        break;
    default: // Enter and Escape leave a station as it is: only the close box and Exit close it
        break;
    }
    SyncTimer();
}

void CStationDlg::OnOpen() {
    const std::optional<std::string> path = ChooseImageFile(m_hWnd);
    if (!path) {
        return;
    }
    RunOptions options;
    options.model = m_model;
    options.imagePath = *path;
    m_desk->Load(options); // a refusal is said in a message box by the desk
    ShowLoadedModel();
}

void CStationDlg::OnModelChosen(const std::string& model) {
    // The image taken is checked again for the model now chosen; a refusal keeps the one before.
    RunOptions options = m_desk->Options();
    ChooseModel(model);
    if (!options.imagePath.empty() && NormaliseModel(options.model) != model) {
        options.model = model;
        m_desk->Load(options);
    }
    ShowLoadedModel();
}

void CStationDlg::ShowLoadedModel() {
    if (!m_desk->Options().model.empty()) { // until an image is taken, the operator's choice
        ChooseModel(NormaliseModel(m_desk->Options().model));
    }
}

void CStationDlg::OnAbout() {
    CStationAboutDlg about;
    about.DoModal(m_hWnd);
}

void CStationDlg::ChooseModel(const std::string& model) {
    m_model = model;
    CheckMenuRadioItem(GetMenu(m_hWnd), ID_STATION_MODEL_Q, ID_STATION_MODEL_P,
                       model == "p" ? ID_STATION_MODEL_P : ID_STATION_MODEL_Q, MF_BYCOMMAND);
}

void CStationDlg::OnClose() {
    if (m_bClosed) {
        return;
    }
    if (m_desk->RequestClose()) {
        EndWindow(0);
        return;
    }
    SyncTimer(); // the desk stops the station and says CloseWindow once the last wait is over
}

void CStationDlg::OnTimer() {
    if (m_inTick) {
        return; // a message box of the round is open: the next round waits for it
    }
    m_inTick = true;
    m_desk->Tick();
    m_inTick = false;
    SyncTimer();
}

void CStationDlg::SyncTimer() {
    if (m_hWnd == nullptr) {
        return;
    }
    if (m_desk->Polling() && m_timer == 0 && !m_bClosed) {
        m_timer = SetTimer(m_hWnd, kPollTimer, static_cast<UINT>(m_desk->PollInterval().count()),
                           nullptr);
    } else if (!m_desk->Polling() && m_timer != 0) {
        KillTimer(m_hWnd, kPollTimer);
        m_timer = 0;
    }
}

void CStationDlg::EndWindow(int status) {
    if (m_bClosed || m_hWnd == nullptr) {
        return;
    }
    m_bClosed = true;
    if (m_timer != 0) {
        KillTimer(m_hWnd, kPollTimer);
        m_timer = 0;
    }
    CloseDialog(status);
}

void CStationDlg::CloseWindow() {
    PostMessageW(m_hWnd, WM_STATION_CLOSE_NOW, 0, 0);
}

void CStationDlg::ShowMessage(const std::string& text, MessageIcon icon) {
    MessageBoxW(m_hWnd, WidenText(text).c_str(), WidenText(STATION_TITLE).c_str(),
                MB_OK | (icon == MessageIcon::Stop ? MB_ICONSTOP : MB_ICONINFORMATION));
}

void CStationDlg::ShowHeader(const StationHeader& header) {
    // Each part widened on its own: a file name may be in the machine's code page, not UTF-8.
    constexpr wchar_t kApart[] = L"     ";
    const std::wstring image = WidenText(header.image) + kApart + WidenText(header.model) + kApart +
                               L"SHA-256 " + WidenText(header.shortSha) + L"\u2026" + kApart +
                               WidenText(header.blocks);
    SetWindowTextW(Item(IDC_STATION_IMAGE), image.c_str());
    SetWindowTextW(Item(IDC_STATION_DIGEST), (L"SHA-256 " + WidenText(header.sha256)).c_str());
    std::wstring shift =
        L"report: " + (header.report.empty() ? std::wstring(L"none") : WidenText(header.report));
    if (!header.operatorName.empty()) {
        shift += kApart + (L"operator: " + WidenText(header.operatorName));
    }
    if (!header.workOrder.empty()) {
        shift += kApart + (L"work order: " + WidenText(header.workOrder));
    }
    SetWindowTextW(Item(IDC_STATION_SHIFT), shift.c_str());
}

void CStationDlg::ShowTile(std::size_t index, const Tile& tile) {
    bool added = false;
    while (m_tiles.size() <= index) {
        const int id = IDC_STATION_TILE + static_cast<int>(m_tiles.size());
        m_tiles.push_back(std::make_unique<CStationTile>(m_hWnd, id, m_look));
        added = true;
    }
    if (added) {
        Layout();
    }
    m_tiles[index]->Show(tile);
}

void CStationDlg::ShowTally(const std::string& text) {
    SetWindowTextW(Item(IDC_STATION_TALLY), WidenText(text).c_str());
}

void CStationDlg::ShowRecords(const std::vector<std::string>& lines) {
    HWND list = Item(IDC_STATION_RECORDS);
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    SendMessageW(list, LB_RESETCONTENT, 0, 0);
    for (const std::string& line : lines) {
        SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(WidenText(line).c_str()));
    }
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
}

void CStationDlg::ShowStatus(const std::string& text) {
    SetWindowTextW(Item(IDC_STATION_STATUS), WidenText(text).c_str());
}

void CStationDlg::EnableCommands(const StationCommands& commands) {
    HMENU menu = GetMenu(m_hWnd);
    for (UINT id : {ID_STATION_OPEN, ID_STATION_MODEL_Q, ID_STATION_MODEL_P}) {
        EnableMenuItem(menu, id, MenuState(commands.open));
    }
    EnableMenuItem(menu, ID_STATION_START, MenuState(commands.start));
    EnableMenuItem(menu, ID_STATION_STOP, MenuState(commands.stop));
    DrawMenuBar(m_hWnd);
}

int CStationDlg::Scaled(int pixels) const {
    return ScaleToDpi(pixels, m_dpi);
}

void CStationDlg::OnDpiChanged(UINT dpi, const RECT& suggested) {
    m_dpi = dpi;
    m_tileMetrics = {}; // the tiles' fonts are made again for the new DPI
    LoadIcons();
    MakeFonts();
    SetWindowPos(m_hWnd, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    Layout(); // also when the suggested size is the size it had
}

RECT CStationDlg::WorkArea() const {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    GetMonitorInfoW(MonitorFromWindow(m_hWnd, MONITOR_DEFAULTTONEAREST), &monitor);
    return monitor.rcWork;
}

void CStationDlg::PlaceWindow() {
    const RECT work = WorkArea();
    const int width = std::min<int>(Scaled(kWindowWidth), work.right - work.left);
    const int height = std::min<int>(Scaled(kWindowHeight), work.bottom - work.top);
    SetWindowPos(m_hWnd, nullptr, work.left + (work.right - work.left - width) / 2,
                 work.top + (work.bottom - work.top - height) / 2, width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void CStationDlg::LoadIcons() {
    struct Size {
        HICON& icon;
        int pixels;
        WPARAM kind;
    };
    for (const Size& size : {Size{m_bigIcon, LargeIconSize(m_dpi), ICON_BIG},
                             Size{m_smallIcon, Scaled(16), ICON_SMALL}}) {
        HICON previous = size.icon;
        size.icon = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr),
                                                  MAKEINTRESOURCEW(IDR_STATION_ICON), IMAGE_ICON,
                                                  size.pixels, size.pixels, 0));
        SendMessageW(m_hWnd, WM_SETICON, size.kind, reinterpret_cast<LPARAM>(size.icon));
        if (previous != nullptr) {
            DestroyIcon(previous);
        }
    }
}

void CStationDlg::MakeFonts() {
    m_headerFont.Make(Scaled(kHeaderFont), true);
    m_detailFont.Make(Scaled(kDetailFont), false);
    m_tallyFont.Make(Scaled(kTallyFont), true);
    m_statusFont.Make(Scaled(kStatusFont), false);
    const std::pair<int, const ScaledFont&> fonts[] = {
        {IDC_STATION_IMAGE, m_headerFont},   {IDC_STATION_DIGEST, m_detailFont},
        {IDC_STATION_SHIFT, m_detailFont},   {IDC_STATION_TALLY, m_tallyFont},
        {IDC_STATION_RECORDS, m_detailFont}, {IDC_STATION_STATUS, m_statusFont},
    };
    for (const auto& [id, font] : fonts) {
        SendMessageW(Item(id), WM_SETFONT, reinterpret_cast<WPARAM>(font.Get()), TRUE);
    }
}

void CStationDlg::Layout() {
    RECT client{};
    GetClientRect(m_hWnd, &client);
    if (client.right <= 0 || client.bottom <= 0) {
        return; // minimised
    }
    const int margin = Scaled(kMargin);
    const int gap = Scaled(kGap);
    const int width = client.right - 2 * margin;
    const auto place = [&](int id, int top, int height) {
        SetWindowPos(Item(id), nullptr, margin, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
        return top + height;
    };
    const int detailLine = LineHeight(m_hWnd, m_detailFont.Get());
    // From the top: the image, its digest and the shift.
    int top = place(IDC_STATION_IMAGE, margin, LineHeight(m_hWnd, m_headerFont.Get()));
    top = place(IDC_STATION_DIGEST, top + gap / 4, detailLine);
    top = place(IDC_STATION_SHIFT, top + gap / 4, detailLine);
    // From the bottom: the status line, the records and the tally.
    const int statusHeight = LineHeight(m_hWnd, m_statusFont.Get());
    int bottom = client.bottom - margin - statusHeight;
    place(IDC_STATION_STATUS, bottom, statusHeight);
    // The records' list: its lines at the height its font gives them, inside its border.
    const int edges = 2 * GetSystemMetrics(SM_CYBORDER) + Scaled(2);
    const auto recordLine =
        static_cast<int>(SendMessageW(Item(IDC_STATION_RECORDS), LB_GETITEMHEIGHT, 0, 0));
    const int recordLines =
        static_cast<int>(STATION_RECORD_LINES) / (client.bottom < Scaled(kShortClient) ? 2 : 1);
    const int recordsHeight = recordLines * recordLine + edges;
    bottom -= gap / 2 + recordsHeight;
    place(IDC_STATION_RECORDS, bottom, recordsHeight);
    const int tallyHeight = LineHeight(m_hWnd, m_tallyFont.Get());
    bottom -= gap / 2 + tallyHeight;
    place(IDC_STATION_TALLY, bottom, tallyHeight);
    PlaceTiles({margin, top + gap, client.right - margin, std::max(top + gap, bottom - gap)});
    InvalidateRect(m_hWnd, nullptr, TRUE);
}

void CStationDlg::PlaceTiles(const RECT& area) {
    const int gap = Scaled(kGap);
    const std::vector<RECT> rects = TileRects(m_tiles.size(), area, gap);
    if (!rects.empty()) {
        // The texts grow and shrink with the tiles, within what stays readable.
        const RECT& first = rects.front();
        const TileMetrics metrics =
            TileMetricsFor(first.right - first.left, first.bottom - first.top, m_dpi);
        if (metrics != m_tileMetrics) {
            m_tileMetrics = metrics;
            m_slotFont.Make(metrics.slotFont, true);
            m_headlineFont.Make(metrics.headlineFont, true);
            m_bodyFont.Make(metrics.bodyFont, false);
            m_valueFont.Make(metrics.bodyFont, true);
            m_look = {m_slotFont.Get(),       m_headlineFont.Get(), m_bodyFont.Get(),
                      m_valueFont.Get(),      metrics.padding,      metrics.barHeight,
                      metrics.oneIdentityLine};
            for (const auto& tile : m_tiles) {
                tile->Repaint();
            }
        }
    }
    for (std::size_t index = 0; index < rects.size(); ++index) {
        m_tiles[index]->Place(rects[index]);
    }
}

} // namespace knot::win32
