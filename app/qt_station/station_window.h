// The station window: the image's header, a tile per slot, the tally, the last records and the
// status line, with the menus that choose the image and start and stop taking units. It only
// shows and forwards: StationDesk keeps every rule, polled on the window's timer.
#pragma once

#include "driver_port_factory.h"
#include "station_desk.h"

#include <QMainWindow>
#include <QTimer>

#include <memory>
#include <vector>

class QAction;
class QActionGroup;
class QGridLayout;
class QLabel;
class QPlainTextEdit;

namespace knot::device {
class TransferLog;
} // namespace knot::device

namespace knot::qt {
using namespace knot::station;

class CStationHeaderPanel;
class CStationTileWidget;

class CStationWindow : public QMainWindow, private StationView {
    Q_OBJECT

  public:
    // Lanes make their ports with `ports`; `log` must outlive the window. Until the command line
    // is given to Desk(), the operator chooses the image.
    CStationWindow(DriverPortFactory ports, TransferLog& log, QWidget* parent = nullptr);
    ~CStationWindow() override;

    StationDesk& Desk() { return *m_desk; }

  protected:
    // Refused while units that were sent their commit still write; the window closes once they
    // have finished.
    void closeEvent(QCloseEvent* event) override;

  private:
    // StationView
    void ShowHeader(const StationHeader& header) override;
    void ShowTile(std::size_t index, const Tile& tile) override;
    void ShowTally(const std::string& text) override;
    void ShowRecords(const std::vector<std::string>& lines) override;
    void ShowStatus(const std::string& text) override;
    void EnableCommands(const StationCommands& commands) override;
    void ShowMessage(const std::string& text, MessageIcon icon) override;
    void CloseWindow() override;

    void CreateMenus();
    QWidget* CreateTileArea();
    QWidget* CreateFooter();
    void OnOpen();
    void OnModelChosen();
    void OnAbout();
    // "q" or "p", as the Model menu says.
    std::string ChosenModel() const;
    // The Model menu follows the image's model, once one is taken.
    void ShowLoadedModel();
    void ArrangeTiles();

    CStationHeaderPanel* m_header = nullptr;
    QGridLayout* m_tileGrid = nullptr;
    QLabel* m_noTiles = nullptr;
    std::vector<CStationTileWidget*> m_tiles;
    QLabel* m_tally = nullptr;
    QPlainTextEdit* m_records = nullptr;
    QLabel* m_status = nullptr;
    QAction* m_open = nullptr;
    QActionGroup* m_models = nullptr;
    QAction* m_start = nullptr;
    QAction* m_stop = nullptr;
    QTimer m_poll;
    std::unique_ptr<StationDesk> m_desk;
};

} // namespace knot::qt
