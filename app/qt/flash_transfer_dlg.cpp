#include "flash_transfer_dlg.h"

#include "about_dlg.h"
#include "dialog_units.h"
#include "ex_file_dialog.h"
#include "posted_message_event.h"
#include "program_icons.h"
#include "string_table.h"
#include "variant_profile.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QSpacerItem>
#include <QStyle>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace knot::qt {
using namespace knot::core;

namespace {

QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The bold font's character height in pixels and the list's column widths.
constexpr int kBoldFontPixels = 19;
constexpr int kListColumnWidth = 150;
// Title-bar heights a message box adds to its caption's width: the icon, the close box, margins.
constexpr int kCaptionButtons = 4;

} // namespace

CFlashTransferDlg::CFlashTransferDlg(const VariantProfile& profile, DriverPort& port,
                                     TransferLog& log, bool dumpImages, LogicServices services,
                                     QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      m_profile(profile) {
    setObjectName(QStringLiteral("CFlashTransferDlg"));
    setWindowTitle(QStringLiteral("Zu Flash Data Transfer Tool")); // replaced below
    CreateControls();
    CreateMenuBar();
    setWindowIcon(LargeIcon());
    m_start->setEnabled(false);

    const QString title = QString::fromUtf8(ProgramTitle(profile));
    QCoreApplication::setApplicationName(title); // the caption of every message box
    setWindowTitle(title);

    MakeBoldFont();
    InitializeList();

    m_controller =
        std::make_unique<FlashTransferController>(profile, *this, port, log, std::move(services));
    m_controller->SetDumpImages(dumpImages);
    m_controller->InitializeLogic();
    m_list->setFocus(Qt::OtherFocusReason);
}

CFlashTransferDlg::~CFlashTransferDlg() {
    if (!m_bClosed) {
        m_controller->OnClose();
    }
    while (m_waitCursorDepth > 0) {
        EndWaitCursor();
    }
}

void CFlashTransferDlg::CreateControls() {
    setFont(DialogFont());
    const DialogUnits units(font());

    // The client area of template 102; the menu bar sits above it, as with a template's menu.
    auto* client = new QWidget(this);
    client->setFixedSize(units.ToPixels(247, 100));

    m_list = new QTableWidget(0, 2, client);
    m_list->setObjectName(QStringLiteral("m_list"));
    m_list->setGeometry(units.ToPixels(7, 7, 175, 44));
    m_list->horizontalHeader()->hide();
    m_list->horizontalHeader()->setSectionsClickable(false);
    m_list->verticalHeader()->hide();
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setFocusPolicy(Qt::StrongFocus);
    m_list->setTabKeyNavigation(false); // Tab leaves the list for Start, as in a dialog

    m_start = new QPushButton(QStringLiteral("Start"), client);
    m_start->setObjectName(QStringLiteral("m_start"));
    m_start->setGeometry(units.ToPixels(190, 7, 50, 44));
    m_start->setFocusPolicy(Qt::StrongFocus);
    // Not a default button: Enter away from Start closes the window, so Start must not look as
    // if Enter pressed it.
    m_start->setAutoDefault(false);
    m_start->setDefault(false);
    connect(m_start, &QPushButton::clicked, this, [this] { OnCommand(IDC_START); });

    m_progress = new QProgressBar(client);
    m_progress->setObjectName(QStringLiteral("m_progress"));
    m_progress->setGeometry(units.ToPixels(7, 75, 233, 18));
    m_progress->setTextVisible(false);
    m_progress->setRange(0, 100);
    m_progress->setValue(0);

    m_status = new QLabel(client);
    m_status->setObjectName(QStringLiteral("m_status"));
    m_status->setGeometry(units.ToPixels(7, 59, 233, 14));
    m_status->setAlignment(Qt::AlignCenter);
    m_status->setTextFormat(Qt::PlainText);

    setTabOrder(m_list, m_start);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(client);
    m_menuBar = new QMenuBar(this);
    m_menuBar->setFont(QApplication::font("QMenuBar")); // menus keep the system's menu font
    m_menuBar->setNativeMenuBar(false);
    layout->setMenuBar(m_menuBar);
    layout->setSizeConstraint(QLayout::SetFixedSize); // a fixed frame: no resizing
}

void CFlashTransferDlg::CreateMenuBar() {
    for (const MenuDefinition& menuDefinition : m_profile.menuBar) {
        QMenu* menu = m_menuBar->addMenu(QString::fromUtf8(menuDefinition.title));
        for (const MenuItem& item : menuDefinition.items) {
            QAction* action = menu->addAction(QString::fromUtf8(item.text));
            action->setData(int{item.commandId});
            const int commandId = item.commandId;
            connect(action, &QAction::triggered, this, [this, commandId] { OnCommand(commandId); });
            m_menuItems[commandId] = action;
        }
    }
    // F1 issues the help command, which does nothing here.
    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(help, &QShortcut::activated, this, [this] { OnCommand(ID_HELP); });
}

void CFlashTransferDlg::MakeBoldFont() {
    // The dialog font with a 19-pixel bold face; the face name is kept.
    m_boldFont = m_start->font();
    m_boldFont.setPixelSize(kBoldFontPixels);
    m_boldFont.setWeight(QFont::Bold);
    m_boldFont.setStyleStrategy(QFont::PreferOutline);
    m_boldFont.setFixedPitch(false);
    m_start->setFont(m_boldFont);
    m_list->setFont(m_boldFont);
    m_status->setFont(m_boldFont);
}

void CFlashTransferDlg::InitializeList() {
    m_list->setHorizontalHeaderLabels({QStringLiteral("colum1"), QStringLiteral("colum2")});
    m_list->setColumnWidth(0, kListColumnWidth);
    m_list->setColumnWidth(1, kListColumnWidth);
    m_list->setShowGrid(true);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setWordWrap(false);
    const int rowHeight = (m_list->height() - 2 * m_list->frameWidth()) / IDENTITY_ROW_COUNT;
    m_list->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_list->verticalHeader()->setMinimumSectionSize(1);
    m_list->verticalHeader()->setDefaultSectionSize(rowHeight);
}

QAction* CFlashTransferDlg::menuItem(int commandId) const {
    const auto it = m_menuItems.find(commandId);
    return it == m_menuItems.end() ? nullptr : it->second;
}

void CFlashTransferDlg::OnCommand(int commandId) {
    RunWindowCommand(commandId, *m_controller, *this);
}

std::optional<std::string> CFlashTransferDlg::ChooseSRecordFile() {
    CExFileDialog chooser(this);
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return QFile::encodeName(chooser.selectedFiles().front()).toStdString();
}

void CFlashTransferDlg::ShowAboutBox() {
    CAboutDlg about(m_profile, this);
    about.exec();
}

void CFlashTransferDlg::accept() {
    CloseAction();
}

void CFlashTransferDlg::reject() {
    CloseAction();
}

void CFlashTransferDlg::CloseAction() {
    if (!m_bClosed) {
        m_bClosed = true; // messages still queued for the window are dropped from now on
        m_controller->OnClose();
    }
    QDialog::done(QDialog::Rejected);
}

void CFlashTransferDlg::keyPressEvent(QKeyEvent* e) {
    const bool enter = e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter;
    if (enter && (e->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        if (focusWidget() == m_start && m_start->isEnabled()) {
            m_start->click();
        } else {
            CloseAction(); // the dialog's default OK
        }
        return;
    }
    QDialog::keyPressEvent(e);
}

bool CFlashTransferDlg::event(QEvent* e) {
    if (PostedMessageEvent::IsPostedMessage(e->type())) {
        if (!m_bClosed) {
            const auto* posted = static_cast<PostedMessageEvent*>(e);
            m_controller->OnWindowMessage(posted->message(), posted->wParam());
        }
        return true;
    }
    return QDialog::event(e);
}

void CFlashTransferDlg::SetStatusText(std::string_view text) {
    m_status->setText(FromUtf8(text));
}

void CFlashTransferDlg::SetProgressRange(int maximum) {
    m_progress->setRange(0, maximum);
}

void CFlashTransferDlg::SetProgressPos(int position) {
    // A position past the maximum shows a full bar (a Qt bar would ignore it).
    m_progress->setValue(std::clamp(position, m_progress->minimum(), m_progress->maximum()));
}

void CFlashTransferDlg::EnableStart(bool enable) {
    m_start->setEnabled(enable);
}

void CFlashTransferDlg::EnableOpenItem(bool enable) {
    if (QAction* item = menuItem(ID_FILE_OPEN)) {
        item->setEnabled(enable);
    }
}

void CFlashTransferDlg::EnableInitializeItem(bool enable) {
    const QList<QAction*> menus = m_menuBar->actions();
    if (menus.size() <= INITIALIZE_MENU_INDEX || menus[INITIALIZE_MENU_INDEX]->menu() == nullptr) {
        return;
    }
    for (QAction* item : menus[INITIALIZE_MENU_INDEX]->menu()->actions()) {
        if (item->data().toInt() == ID_DATA_INITIALIZE) {
            item->setEnabled(enable);
        }
    }
    m_menuBar->update();
}

void CFlashTransferDlg::ClearIdentityList() {
    m_listChanged = true;
    m_list->setRowCount(0);
}

void CFlashTransferDlg::SetIdentityText(int row, int column, std::string_view text) {
    if (row < 0 || column < 0 || column >= m_list->columnCount()) {
        return;
    }
    m_listChanged = true;
    if (row >= m_list->rowCount()) {
        m_list->setRowCount(row + 1);
    }
    QTableWidgetItem* item = m_list->item(row, column);
    if (item == nullptr) {
        item = new QTableWidgetItem;
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        item->setTextAlignment(
            column == IDENTITY_VALUE_COLUMN ? Qt::AlignCenter : (Qt::AlignLeft | Qt::AlignVCenter));
        m_list->setItem(row, column, item);
    }
    // The unit's text is bytes, not UTF-8: each byte is shown as the character it stands for.
    item->setText(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
}

void CFlashTransferDlg::ShowMessage(std::string_view caption, std::string_view text,
                                    MessageIcon icon) {
    QMessageBox box(icon == MessageIcon::Stop ? QMessageBox::Critical : QMessageBox::Information,
                    FromUtf8(caption), FromUtf8(text), QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);
    // At least as wide as the caption in a bold title font, beside the title bar's icon and
    // buttons, so that the window manager shows the whole program title.
    QFont titleFont = QApplication::font();
    titleFont.setBold(true);
    const int titleBar = style()->pixelMetric(QStyle::PM_TitleBarHeight);
    const int captionWidth =
        QFontMetrics(titleFont).horizontalAdvance(box.windowTitle()) + kCaptionButtons * titleBar;
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
        grid->addItem(new QSpacerItem(captionWidth, 0, QSizePolicy::Minimum, QSizePolicy::Minimum),
                      grid->rowCount(), 0, 1, grid->columnCount());
    }
    box.exec(); // a nested loop: posted messages go on being handled while it is open
}

void CFlashTransferDlg::BeginWaitCursor() {
    ++m_waitCursorDepth;
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void CFlashTransferDlg::EndWaitCursor() {
    if (m_waitCursorDepth > 0) {
        --m_waitCursorDepth;
        QApplication::restoreOverrideCursor();
    }
}

void CFlashTransferDlg::PostWindowMessage(WindowMessage message, std::uintptr_t wParam) {
    QCoreApplication::postEvent(this, new PostedMessageEvent(message, wParam));
}

void CFlashTransferDlg::RefreshWindow() {
    // Brought to the top and activated; an active window is already there, and the offscreen
    // platform keeps no stacking order at all.
    static const bool stacked = QGuiApplication::platformName() != QLatin1String("offscreen");
    if (stacked && isVisible() && !isActiveWindow()) {
        raise();
        activateWindow();
    }
    // Paint what is out of date now, as the platform's UpdateWindow does, without entering the
    // event loop: flushing posted events here would also run the next step messages inside this
    // one, and input, timers and repaints would wait for the end of the run.
    if (m_listChanged) {
        m_listChanged = false;
        m_list->doItemsLayout(); // the rows as they are now, not at the next idle moment
    }
    QEvent update(QEvent::UpdateRequest);
    QCoreApplication::sendEvent(this, &update);
}

} // namespace knot::qt
