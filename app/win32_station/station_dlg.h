// The station window on Windows: dialog template 200 with its menu bar, a header with the image
// and the shift, one tile per slot in a grid that fits the window, the tally, the last records
// and the status line, all drawn at the monitor's DPI. It only shows and forwards: every rule is
// StationDesk's, polled on the window's timer.
#pragma once

#include "dialog_window.h"
#include "station_desk.h"
#include "station_fonts.h"
#include "station_tile.h"
#include "tile_grid.h"

#include "windows_headers.h"

#include <memory>
#include <string>
#include <vector>

namespace knot::win32 {
using namespace knot::station;

class CStationDlg : public StationView, private CDialogWindow {
  public:
    // `log` must outlive the window; lanes make their ports with `ports`. `arguments` is the
    // kiosk command line, the program's name first, taken once the window shows.
    CStationDlg(DriverPortFactory ports, TransferLog& log, std::vector<std::string> arguments);
    ~CStationDlg() override;
    CStationDlg(const CStationDlg&) = delete;
    CStationDlg& operator=(const CStationDlg&) = delete;

    // Runs the window until it closes: 0, or 1 when the command line was refused (a message box
    // said why). The program's only message loop.
    INT_PTR DoModal();
    // Creates the window without a loop of its own (the caller pumps it); nullptr when the
    // template cannot be made into a window.
    HWND Create();

    HWND GetSafeHwnd() const { return m_hWnd; }
    bool IsClosed() const { return m_bClosed; }
    StationDesk& Desk() { return *m_desk; }

    // StationView
    void ShowHeader(const StationHeader& header) override;
    void ShowTile(std::size_t index, const Tile& tile) override;
    void ShowTally(const std::string& text) override;
    void ShowRecords(const std::vector<std::string>& lines) override;
    void ShowStatus(const std::string& text) override;
    void EnableCommands(const StationCommands& commands) override;
    void ShowMessage(const std::string& text, MessageIcon icon) override;
    void CloseWindow() override;

  private:
    // CDialogWindow
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    BOOL OnInitDialog();
    void OnCommandLine();
    void OnCommand(UINT commandId);
    void OnOpen();
    void OnAbout();
    // The Model menu's check on `model` ("q" or "p").
    void ChooseModel(const std::string& model);
    // The operator chose `model`: an image taken is checked again for it.
    void OnModelChosen(const std::string& model);
    // The Model menu follows the image's model, once one is taken.
    void ShowLoadedModel();
    // The close box and File > Exit: the window goes once the desk says it may.
    void OnClose();
    void OnTimer();
    // The poll timer runs while the desk polls.
    void SyncTimer();
    void EndWindow(int status);
    void OnDpiChanged(UINT dpi, const RECT& suggested);
    // The window's first size, fitted to its monitor's work area, and centred there.
    void PlaceWindow();
    // The work area of the window's monitor.
    RECT WorkArea() const;
    void LoadIcons();
    // The fonts of the header, tally, records and status line at m_dpi.
    void MakeFonts();
    // Every control and tile placed for the client area's size.
    void Layout();
    // The tiles placed in `area`, with the tiles' look sized to them.
    void PlaceTiles(const RECT& area);
    HWND Item(int id) const { return GetDlgItem(m_hWnd, id); }
    int Scaled(int pixels) const;

    DriverPortFactory m_ports;
    TransferLog& m_log;
    std::vector<std::string> m_arguments;
    std::unique_ptr<StationDesk> m_desk;

    UINT m_dpi = USER_DEFAULT_SCREEN_DPI;
    HICON m_bigIcon = nullptr;
    HICON m_smallIcon = nullptr;
    ScaledFont m_headerFont; // the image line
    ScaledFont m_detailFont; // the digest and shift lines, the records
    ScaledFont m_tallyFont;  // the tally
    ScaledFont m_statusFont; // the status line
    ScaledFont m_slotFont;   // the tiles' fonts, sized to the tiles
    ScaledFont m_headlineFont;
    ScaledFont m_bodyFont;
    ScaledFont m_valueFont;
    TileLook m_look;
    TileMetrics m_tileMetrics; // the sizes the tiles' fonts were made for
    std::vector<std::unique_ptr<CStationTile>> m_tiles;
    std::string m_model = "q"; // the Model menu's choice
    UINT_PTR m_timer = 0;
    bool m_inTick = false;
    bool m_bClosed = false;
};

} // namespace knot::win32
