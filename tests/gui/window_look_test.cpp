// The window's look and its fixed parts: menu bars of both models, titles, layout in dialog
// units, the bold font, the list's style, the About box, the file chooser and the keys that close.
#include "knot_names.h"

#include "about_dlg.h"
#include "dialog_units.h"
#include "ex_file_dialog.h"
#include "flash_transfer_app.h"
#include "flash_transfer_dlg.h"
#include "gui_test_support.h"
#include "loopback_driver_port.h"
#include "operator_texts.h"
#include "string_table.h"
#include "variant_profile.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QTableWidget>
#include <QtTest>

class WindowLookTest : public QObject {
    Q_OBJECT

  private slots:
    void menuBarOfEachModel_data();
    void menuBarOfEachModel();
    void titleIsTheProgramTitle_data();
    void titleIsTheProgramTitle();
    void dialogUnitsRoundToNearestPixel_data();
    void dialogUnitsRoundToNearestPixel();
    void layoutFollowsTemplateInDialogUnits();
    void listIsAGridOfThreeRows();
    void boldFontOnStartListAndStatus();
    void progressPastTheMaximumShowsAFullBar();
    void initializeItemOnlyInTheSecondMenu_data();
    void initializeItemOnlyInTheSecondMenu();
    void everyAboutIdOpensTheSameAboutBox_data();
    void everyAboutIdOpensTheSameAboutBox();
    void chooserHidesNameAndTypeParts();
    void closingKeys_data();
    void closingKeys();
    void helpKeyDoesNothing();
    void dumpSwitch_data();
    void dumpSwitch();
};

struct MenuLine {
    QString menu;
    QString item;
    int id;
};

static std::vector<MenuLine> MenuLines(const CFlashTransferDlg& dlg) {
    std::vector<MenuLine> lines;
    for (QAction* top : MenuBarOf(dlg)->actions()) {
        for (QAction* item : top->menu()->actions()) {
            lines.push_back({top->text(), item->text(), item->data().toInt()});
        }
    }
    return lines;
}

void WindowLookTest::menuBarOfEachModel_data() {
    QTest::addColumn<QString>("model");
    QTest::addColumn<QStringList>("expected"); // "menu|item|id"
    QTest::newRow("Q") << "q"
                       << QStringList{"&File|Open An S-&Record...|32771",
                                      "&Help|&About ZU-KNOT-Q Flash Data Transfer Tool...|32774"};
    QTest::newRow("P") << "p"
                       << QStringList{"&File|Open An S-&Record...|32771", "&Data|&Initialize|32772",
                                      "&Help|&About ZU-KNOT-P Flash Data Transfer Tool...|32773"};
}

void WindowLookTest::menuBarOfEachModel() {
    QFETCH(QString, model);
    QFETCH(QStringList, expected);
    WindowBench bench;
    const auto window = bench.Open(model);
    CFlashTransferDlg& dlg = *window;
    QStringList actual;
    for (const MenuLine& line : MenuLines(dlg)) {
        actual << QStringLiteral("%1|%2|%3").arg(line.menu, line.item).arg(line.id);
    }
    QCOMPARE(actual, expected);
}

void WindowLookTest::titleIsTheProgramTitle_data() {
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("title");
    QTest::newRow("Q") << "q"
                       << "ZU-KNOT-Q Flash Data Transfer Tool";
    QTest::newRow("P") << "p"
                       << "ZU-KNOT-P Flash Data Transfer Tool";
}

void WindowLookTest::titleIsTheProgramTitle() {
    QFETCH(QString, model);
    QFETCH(QString, title);
    WindowBench bench;
    const auto window = bench.Open(model);
    CFlashTransferDlg& dlg = *window;
    QCOMPARE(dlg.windowTitle(), title);
    QCOMPARE(QCoreApplication::applicationName(), title);

    // A message box of the program carries the title as its caption, with one OK button.
    ModalAnswerer answerer;
    dlg.Controller().OnFileChosen("/nonexistent/folder/image.mot");
    QCOMPARE(answerer.boxes.size(), 1u);
    QCOMPARE(answerer.boxes[0].caption, title);
    QCOMPARE(answerer.boxes[0].icon, QMessageBox::Critical);
    QVERIFY(answerer.boxes[0].text.startsWith(
        QLatin1String("Could not read the S-Record file image.mot in /nonexistent/folder: ")));

    // Even the box of a short text shows the whole caption: it is wide enough for the caption
    // beside the title bar's icon and close box.
    const QString good = bench.FilePath(QStringLiteral("good.mot"));
    QVERIFY(WriteSRecordFile(good, ProfileOf(model), 64, 0));
    int boxWidth = 0;
    answerer.whileModalOpen = [&](QWidget& box) { boxWidth = box.width(); };
    dlg.Controller().OnFileChosen(QFile::encodeName(good).toStdString());
    QCOMPARE(answerer.boxes.back().text, QString::fromUtf8(LOAD_DONE_TEXT));
    QFont titleFont = QApplication::font();
    titleFont.setBold(true);
    const int titleBar = dlg.style()->pixelMetric(QStyle::PM_TitleBarHeight);
    QVERIFY2(boxWidth >= QFontMetrics(titleFont).horizontalAdvance(title) + 2 * titleBar,
             qPrintable(QString::number(boxWidth)));
}

void WindowLookTest::dialogUnitsRoundToNearestPixel_data() {
    QTest::addColumn<int>("baseX");
    QTest::addColumn<int>("baseY");
    QTest::addColumn<QRect>("units");
    QTest::addColumn<QRect>("pixels");
    // 9-point "MS UI Gothic" at 96 dots per inch has base units 6 and 12.
    QTest::newRow("window, 6 x 12") << 6 << 12 << QRect(0, 0, 247, 100) << QRect(0, 0, 371, 150);
    QTest::newRow("list, 6 x 12") << 6 << 12 << QRect(7, 7, 175, 44) << QRect(11, 11, 263, 66);
    QTest::newRow("status, 6 x 12") << 6 << 12 << QRect(7, 59, 233, 14) << QRect(11, 89, 350, 21);
    QTest::newRow("list, 7 x 15") << 7 << 15 << QRect(7, 7, 175, 44) << QRect(12, 13, 306, 83);
    QTest::newRow("halves round up") << 2 << 4 << QRect(1, 1, 3, 3) << QRect(1, 1, 2, 2);
}

void WindowLookTest::dialogUnitsRoundToNearestPixel() {
    QFETCH(int, baseX);
    QFETCH(int, baseY);
    QFETCH(QRect, units);
    QFETCH(QRect, pixels);
    const DialogUnits converter(baseX, baseY);
    QCOMPARE(converter.ToPixels(units.x(), units.y(), units.width(), units.height()), pixels);
}

void WindowLookTest::layoutFollowsTemplateInDialogUnits() {
    WindowBench bench;
    const auto window = bench.Open(QStringLiteral("q"));
    CFlashTransferDlg& dlg = *window;
    dlg.show();
    const DialogUnits units(DialogFont());
    QVERIFY(units.baseX() > 0 && units.baseY() > 0);
    QCOMPARE(ListOf(dlg)->geometry(), units.ToPixels(7, 7, 175, 44));
    QCOMPARE(StartOf(dlg)->geometry(), units.ToPixels(190, 7, 50, 44));
    QCOMPARE(StatusOf(dlg)->geometry(), units.ToPixels(7, 59, 233, 14));
    QCOMPARE(ProgressOf(dlg)->geometry(), units.ToPixels(7, 75, 233, 18));
    // The client area is the template's size; the menu bar sits above it, and nothing resizes.
    QCOMPARE(ListOf(dlg)->parentWidget()->size(), units.ToPixels(247, 100));
    QCOMPARE(dlg.minimumSize(), dlg.maximumSize());
    QVERIFY(!(dlg.windowFlags() & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(dlg.windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(dlg.windowFlags() & Qt::WindowCloseButtonHint);
    QCOMPARE(StatusOf(dlg)->alignment(), Qt::AlignCenter);
    QVERIFY(!ProgressOf(dlg)->isTextVisible());
    QVERIFY(!StartOf(dlg)->isEnabled());
    // Tab order: the list first (it has the focus at the start), then Start, then the list.
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    dlg.activateWindow();
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(ListOf(dlg)));
    StartOf(dlg)->setEnabled(true);
    QTest::keyClick(ListOf(dlg), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(StartOf(dlg)));
    QTest::keyClick(StartOf(dlg), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(ListOf(dlg)));
}

void WindowLookTest::listIsAGridOfThreeRows() {
    WindowBench bench;
    const auto window = bench.Open(QStringLiteral("p"));
    CFlashTransferDlg& dlg = *window;
    QTableWidget* list = ListOf(dlg);
    QVERIFY(list->horizontalHeader()->isHidden());
    QVERIFY(list->verticalHeader()->isHidden());
    QVERIFY(list->showGrid());
    QCOMPARE(list->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(list->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QCOMPARE(list->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QCOMPARE(list->columnWidth(0), 150);
    QCOMPARE(list->columnWidth(1), 150);
    QCOMPARE(list->rowCount(), 3);
    for (int row = 0; row < 3; ++row) {
        QCOMPARE(list->item(row, 0)->text(), QString::fromUtf8(IDENTITY_ROW_LABELS[row]));
        QCOMPARE(list->item(row, 1)->text(), QString::fromUtf8(IDENTITY_PLACEHOLDER));
        QCOMPARE(list->item(row, 1)->textAlignment(), int{Qt::AlignCenter});
    }
    QCOMPARE(ProgressOf(dlg)->maximum(), 1);
    QCOMPARE(ProgressOf(dlg)->value(), 0);
}

void WindowLookTest::boldFontOnStartListAndStatus() {
    WindowBench bench;
    const auto window = bench.Open(QStringLiteral("q"));
    CFlashTransferDlg& dlg = *window;
    const QFont bold = StartOf(dlg)->font();
    QCOMPARE(bold.pixelSize(), 19);
    QCOMPARE(bold.weight(), QFont::Bold);
    QCOMPARE(bold.family(), DialogFont().family());
    for (QWidget* control :
         {static_cast<QWidget*>(ListOf(dlg)), static_cast<QWidget*>(StatusOf(dlg))}) {
        QCOMPARE(control->font(), bold);
    }
    QCOMPARE(ProgressOf(dlg)->font(), DialogFont());
}

void WindowLookTest::progressPastTheMaximumShowsAFullBar() {
    WindowBench bench;
    const auto window = bench.Open(QStringLiteral("q"));
    CFlashTransferDlg& dlg = *window;
    dlg.SetProgressRange(8193);
    dlg.SetProgressPos(8194); // the last flash step sets one above the maximum
    QCOMPARE(ProgressOf(dlg)->value(), 8193);
    dlg.SetProgressRange(65535); // the largest 16-bit maximum
    dlg.SetProgressPos(100);
    QCOMPARE(ProgressOf(dlg)->maximum(), 65535);
    QCOMPARE(ProgressOf(dlg)->value(), 100);
}

void WindowLookTest::initializeItemOnlyInTheSecondMenu_data() {
    QTest::addColumn<QString>("model");
    QTest::newRow("Q") << "q";
    QTest::newRow("P") << "p";
}

void WindowLookTest::initializeItemOnlyInTheSecondMenu() {
    QFETCH(QString, model);
    WindowBench bench; // no unit: nothing is ready
    const auto window = bench.Open(model);
    CFlashTransferDlg& dlg = *window;
    QAction* item = MenuItemOf(dlg, ID_DATA_INITIALIZE);
    if (model == QLatin1String("q")) {
        QVERIFY(item == nullptr); // no menu item issues the command
        const std::vector<MenuLine> before = MenuLines(dlg);
        dlg.EnableInitializeItem(true);
        for (QAction* top : MenuBarOf(dlg)->actions()) {
            for (QAction* action : top->menu()->actions()) {
                QVERIFY(action->isEnabled());
            }
        }
        QCOMPARE(MenuLines(dlg).size(), before.size());
        return;
    }
    QVERIFY(item != nullptr);
    QVERIFY(!item->isEnabled()); // greyed while no unit is ready
    dlg.EnableInitializeItem(true);
    QVERIFY(item->isEnabled());
    dlg.EnableInitializeItem(false);
    QVERIFY(!item->isEnabled());
}

void WindowLookTest::everyAboutIdOpensTheSameAboutBox_data() {
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("firstLine");
    QTest::newRow("Q") << "q"
                       << "About ZU-KNOT-Q Flash Data Transfer Tool"
                       << "ZU-KNOT-Q Flash Data Transfer Tool Version 1.10";
    QTest::newRow("P") << "p"
                       << "About ZU-KNOT-P Flash Data Transfer Tool"
                       << "ZU-KNOT-P Flash Data Transfer Tool Version 1.10";
}

void WindowLookTest::everyAboutIdOpensTheSameAboutBox() {
    QFETCH(QString, model);
    QFETCH(QString, caption);
    QFETCH(QString, firstLine);
    WindowBench bench;
    const auto window = bench.Open(model);
    CFlashTransferDlg& dlg = *window;
    ModalAnswerer answerer;
    for (int id : {ID_APP_ABOUT_P, ID_APP_ABOUT_Q, ID_APP_ABOUT_R, ID_APP_ABOUT_V}) {
        dlg.OnCommand(id);
    }
    MenuItemOf(dlg, ProfileOf(model).aboutCommandId)->trigger();
    QCOMPARE(answerer.aboutCaptions, std::vector<QString>(5, caption));
    QCOMPARE(answerer.aboutFirstLines, std::vector<QString>(5, firstLine));

    CAboutDlg about(ProfileOf(model), &dlg);
    QCOMPARE(about.findChild<QLabel*>(QStringLiteral("aboutSecondLine"))->text(),
             QStringLiteral("Copyright (C) Korvane"));
    QVERIFY(!about.findChild<QLabel*>(QStringLiteral("aboutIcon"))->pixmap().isNull());
    QVERIFY(about.findChildren<QPushButton*>().isEmpty());
}

void WindowLookTest::chooserHidesNameAndTypeParts() {
    CExFileDialog chooser(nullptr);
    QVERIFY(chooser.testOption(QFileDialog::DontUseNativeDialog));
    QCOMPARE(chooser.fileMode(), QFileDialog::ExistingFile);
    QCOMPARE(chooser.acceptMode(), QFileDialog::AcceptOpen);
    QCOMPARE(chooser.defaultSuffix(), QStringLiteral("mot"));
    QCOMPARE(chooser.nameFilters(), QStringList{QStringLiteral("S Record File (*.mot)")});
    QVERIFY(chooser.isSizeGripEnabled());
    chooser.show();
    for (const char* part : {"fileNameEdit", "fileTypeCombo", "fileNameLabel", "fileTypeLabel"}) {
        QWidget* child = chooser.findChild<QWidget*>(QString::fromUtf8(part));
        QVERIFY2(child != nullptr, part);
        QVERIFY2(!child->isVisible(), part);
    }
}

void WindowLookTest::closingKeys_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("focusOnStart");
    QTest::addColumn<bool>("closes");
    QTest::newRow("Escape") << int{Qt::Key_Escape} << false << true;
    QTest::newRow("Enter on the list") << int{Qt::Key_Return} << false << true;
    QTest::newRow("keypad Enter on the list") << int{Qt::Key_Enter} << false << true;
    QTest::newRow("Enter on Start") << int{Qt::Key_Return} << true << false;
}

void WindowLookTest::closingKeys() {
    QFETCH(int, key);
    QFETCH(bool, focusOnStart);
    QFETCH(bool, closes);
    WindowBench bench; // no unit: the poller runs
    const auto window = bench.Open(QStringLiteral("p"));
    CFlashTransferDlg& dlg = *window;
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QVERIFY(dlg.Controller().Session().IsPollerRunning());
    ModalAnswerer answerer; // Start with no unit fails with a message, or is refused
    if (focusOnStart) {
        StartOf(dlg)->setEnabled(true); // Start pressed with no image: the run is refused
        StartOf(dlg)->setFocus();
    } else {
        ListOf(dlg)->setFocus();
    }
    QVERIFY2(!StartOf(dlg)->isDefault(), "Start is drawn as the default button");
    QTest::keyClick(QApplication::focusWidget(), static_cast<Qt::Key>(key));
    QCOMPARE(dlg.isVisible(), !closes);
    QCOMPARE(dlg.Controller().Session().IsPollerRunning(), !closes);
}

void WindowLookTest::helpKeyDoesNothing() {
    WindowBench bench;
    const auto window = bench.Open(QStringLiteral("q"));
    CFlashTransferDlg& dlg = *window;
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    ModalAnswerer answerer;
    QTest::keyClick(ListOf(dlg), Qt::Key_F1);
    dlg.OnCommand(ID_HELP);
    QCoreApplication::processEvents();
    QVERIFY(dlg.isVisible());
    QVERIFY(answerer.boxes.empty());
    QVERIFY(answerer.aboutCaptions.empty());
}

void WindowLookTest::dumpSwitch_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("dumps");
    QTest::newRow("alone") << QStringList{"KNOT-Q_FDT", "/FILE"} << true;
    QTest::newRow("first of two") << QStringList{"KNOT-Q_FDT", "/FILE", "x.mot"} << true;
    QTest::newRow("none") << QStringList{"KNOT-Q_FDT"} << false;
    QTest::newRow("lower case") << QStringList{"KNOT-Q_FDT", "/file"} << false;
    QTest::newRow("mixed case") << QStringList{"KNOT-Q_FDT", "/File"} << false;
    QTest::newRow("second") << QStringList{"KNOT-Q_FDT", "x", "/FILE"} << false;
    QTest::newRow("longer") << QStringList{"KNOT-Q_FDT", "/FILES"} << false;
    QTest::newRow("with a value") << QStringList{"KNOT-Q_FDT", "/FILE=a"} << false;
    QTest::newRow("padded") << QStringList{"KNOT-Q_FDT", " /FILE"} << false;
    QTest::newRow("dash") << QStringList{"KNOT-Q_FDT", "-FILE"} << false;
    QTest::newRow("empty") << QStringList{"KNOT-Q_FDT", ""} << false;
}

void WindowLookTest::dumpSwitch() {
    QFETCH(QStringList, arguments);
    QFETCH(bool, dumps);
    QCOMPARE(DumpSwitchGiven(arguments), dumps);
}

QTEST_MAIN(WindowLookTest)
#include "window_look_test.moc"
