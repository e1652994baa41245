#include "station_window.h"

#include "about_dlg.h"
#include "ex_file_dialog.h"
#include "knot_version.h"
#include "model_option.h"
#include "program_icons.h"
#include "station_fonts.h"
#include "station_header_panel.h"
#include "station_tile_widget.h"
#include "transfer_log.h"
#include "variant_profile.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QFile>
#include <QFontDatabase>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QVBoxLayout>

#include <cmath>

namespace knot::qt {
namespace {

constexpr const char* MODELS[] = {"q", "p"};
constexpr double kTallyScale = 1.4;
constexpr int kWindowWidthInCharacters = 165;
constexpr int kWindowHeightInLines = 54;

QString FromUtf8(const std::string& text) {
    return QString::fromStdString(text);
}

QLabel* LineLabel(QWidget* parent, const char* name, double scale) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromUtf8(name));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setFont(ScaledFont(label->font(), scale, true));
    return label;
}

QFrame* Rule(QWidget* parent) {
    auto* rule = new QFrame(parent);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);
    return rule;
}

} // namespace

CStationWindow::CStationWindow(DriverPortFactory ports, TransferLog& log, QWidget* parent)
    : QMainWindow(parent) {
    setObjectName(QStringLiteral("CStationWindow"));
    setWindowTitle(QString::fromUtf8(STATION_TITLE));
    setWindowIcon(LargeIcon());
    CreateMenus();

    auto* client = new QWidget(this);
    auto* layout = new QVBoxLayout(client);
    m_header = new CStationHeaderPanel(client);
    layout->addWidget(m_header);
    layout->addWidget(Rule(client));
    layout->addWidget(CreateTileArea(), 1);
    layout->addWidget(Rule(client));
    layout->addWidget(CreateFooter());
    setCentralWidget(client);
    const QFontMetrics metrics(font());
    resize(metrics.averageCharWidth() * kWindowWidthInCharacters,
           metrics.lineSpacing() * kWindowHeightInLines);

    StationView& view = *this;
    m_desk = std::make_unique<StationDesk>(view, std::move(ports), log);
    m_poll.setInterval(m_desk->PollInterval());
    connect(&m_poll, &QTimer::timeout, this, [this] { m_desk->Tick(); });
    m_poll.start();
}

CStationWindow::~CStationWindow() {
    m_poll.stop();
    m_desk.reset(); // its lanes end while the widgets it shows them in still exist
}

void CStationWindow::CreateMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    m_open = file->addAction(QStringLiteral("&Open An S-Record..."), this, &CStationWindow::OnOpen);
    file->addSeparator();
    file->addAction(QStringLiteral("E&xit"), this, &QWidget::close);

    QMenu* model = menuBar()->addMenu(QStringLiteral("&Model"));
    m_models = new QActionGroup(this);
    m_models->setExclusive(true);
    for (const char* name : MODELS) {
        QAction* item = model->addAction(QString::fromUtf8(ProfileForModel(name).modelName));
        item->setCheckable(true);
        item->setData(QString::fromUtf8(name));
        item->setChecked(item == model->actions().front());
        m_models->addAction(item);
    }
    connect(m_models, &QActionGroup::triggered, this, &CStationWindow::OnModelChosen);

    QMenu* station = menuBar()->addMenu(QStringLiteral("&Station"));
    m_start = station->addAction(QStringLiteral("&Start"), this, [this] { m_desk->Start(); });
    m_stop = station->addAction(QStringLiteral("S&top"), this, [this] { m_desk->Stop(); });
    EnableCommands({}); // until the desk says what it offers

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->addAction(QStringLiteral("&About KNOT Station..."), this, &CStationWindow::OnAbout);
}

QWidget* CStationWindow::CreateTileArea() {
    auto* area = new QScrollArea(this);
    area->setWidgetResizable(true);
    area->setFrameShape(QFrame::NoFrame);
    auto* tiles = new QWidget(area);
    auto* column = new QVBoxLayout(tiles);
    m_noTiles = LineLabel(tiles, "noTiles", 1.0);
    m_noTiles->setText(QStringLiteral("A tile appears here for each slot a unit is plugged into."));
    column->addWidget(m_noTiles);
    m_tileGrid = new QGridLayout;
    column->addLayout(m_tileGrid);
    column->addStretch(1);
    area->setWidget(tiles);
    return area;
}

QWidget* CStationWindow::CreateFooter() {
    auto* footer = new QWidget(this);
    auto* layout = new QVBoxLayout(footer);
    layout->setContentsMargins(0, 0, 0, 0);
    m_tally = LineLabel(footer, "m_tally", kTallyScale);
    layout->addWidget(m_tally);
    m_records = new QPlainTextEdit(footer);
    m_records->setObjectName(QStringLiteral("m_records"));
    m_records->setReadOnly(true);
    m_records->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_records->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_records->setFixedHeight(QFontMetrics(m_records->font()).lineSpacing() *
                                  static_cast<int>(STATION_RECORD_LINES) +
                              2 * m_records->frameWidth() +
                              static_cast<int>(2 * m_records->document()->documentMargin()));
    m_records->setPlaceholderText(QStringLiteral("The last records appear here."));
    layout->addWidget(m_records);
    m_status = LineLabel(footer, "m_status", 1.0);
    layout->addWidget(m_status);
    return footer;
}

void CStationWindow::closeEvent(QCloseEvent* event) {
    if (m_desk->RequestClose()) {
        event->accept();
    } else {
        event->ignore(); // CloseWindow() comes once the committed units have finished
    }
}

void CStationWindow::ShowHeader(const StationHeader& header) {
    m_header->ShowHeader(header);
    ShowLoadedModel();
}

void CStationWindow::ShowTile(std::size_t index, const Tile& tile) {
    if (index == m_tiles.size()) {
        m_tiles.push_back(new CStationTileWidget(m_tileGrid->parentWidget()));
        ArrangeTiles();
    }
    m_tiles.at(index)->ShowTile(tile);
}

void CStationWindow::ArrangeTiles() {
    // As square a grid as the tiles make: 2 x 2 for four, 3 x 3 for nine.
    const int count = static_cast<int>(m_tiles.size());
    const int columns = std::max(1, static_cast<int>(std::ceil(std::sqrt(count))));
    for (int i = 0; i < count; ++i) {
        m_tileGrid->addWidget(m_tiles[static_cast<std::size_t>(i)], i / columns, i % columns);
    }
    m_noTiles->setVisible(count == 0);
}

void CStationWindow::ShowTally(const std::string& text) {
    m_tally->setText(FromUtf8(text));
}

void CStationWindow::ShowRecords(const std::vector<std::string>& lines) {
    QStringList shown;
    for (const std::string& line : lines) {
        shown << FromUtf8(line);
    }
    m_records->setPlainText(shown.join(QLatin1Char('\n')));
}

void CStationWindow::ShowStatus(const std::string& text) {
    m_status->setText(FromUtf8(text));
}

void CStationWindow::EnableCommands(const StationCommands& commands) {
    m_open->setEnabled(commands.open);
    m_models->setEnabled(commands.open);
    m_start->setEnabled(commands.start);
    m_stop->setEnabled(commands.stop);
}

void CStationWindow::ShowMessage(const std::string& text, MessageIcon icon) {
    QMessageBox box(icon == MessageIcon::Stop ? QMessageBox::Critical : QMessageBox::Information,
                    QString::fromUtf8(STATION_TITLE), FromUtf8(text), QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void CStationWindow::CloseWindow() {
    // After the round that called it has returned to the desk.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (isVisible()) {
                close();
            }
        },
        Qt::QueuedConnection);
}

void CStationWindow::OnOpen() {
    CExFileDialog chooser(this);
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) {
        return;
    }
    RunOptions options;
    options.model = ChosenModel();
    options.imagePath = QFile::encodeName(chooser.selectedFiles().front()).toStdString();
    m_desk->Load(options);
    ShowLoadedModel();
}

void CStationWindow::OnModelChosen() {
    // The image taken is checked again for the model now chosen; a refusal keeps the one before.
    RunOptions options = m_desk->Options();
    if (!options.imagePath.empty() && NormaliseModel(options.model) != ChosenModel()) {
        options.model = ChosenModel();
        m_desk->Load(options);
    }
    ShowLoadedModel();
}

void CStationWindow::OnAbout() {
    CAboutDlg about(QStringLiteral("About KNOT Station"),
                    QStringLiteral("KNOT Station Version " KNOT_VERSION_TEXT), this);
    about.exec();
}

std::string CStationWindow::ChosenModel() const {
    const QAction* checked = m_models->checkedAction();
    return checked == nullptr ? MODELS[0] : checked->data().toString().toStdString();
}

void CStationWindow::ShowLoadedModel() {
    if (m_desk->Options().model.empty()) {
        return; // no image taken yet: the menu keeps the operator's choice
    }
    const std::string loaded = NormaliseModel(m_desk->Options().model);
    for (QAction* item : m_models->actions()) {
        item->setChecked(item->data().toString().toStdString() == loaded);
    }
}

} // namespace knot::qt
