// The window's commands with a unit on the in-process loopback port: the Start rules, the file
// command and its chooser, Initialize, the identity rows and unplugging under a message box.
#include "knot_names.h"

#include "flash_transfer_app.h"
#include "flash_transfer_dlg.h"
#include "gui_test_support.h"
#include "operator_texts.h"
#include "string_table.h"
#include "variant_profile.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

class WindowCommandsTest : public QObject {
    Q_OBJECT

  private slots:
    void startRule_data();
    void startRule();
    void cancellingTheChooserKeepsTheImage();
    void failedLoadAfterAGoodOneDisablesStart();
    void initializeFollowsTheUnit();
    void initializeUnreachableInModelQ();
    void identityRowsShowTheUnitsBytes_data();
    void identityRowsShowTheUnitsBytes();
    void unplugWhileAModalWindowIsOpenIsHandledAtOnce_data();
    void unplugWhileAModalWindowIsOpenIsHandledAtOnce();
};

// Each row of the Start table, reached the way an operator reaches it.
void WindowCommandsTest::startRule_data() {
    QTest::addColumn<QString>("steps"); // letters, done in order (see below)
    QTest::addColumn<bool>("startEnabled");
    // u: plug a unit and wait until it is ready    x: unplug it and wait for the removal
    // g: load a good file                          r: load a malformed file
    // m: load a file that does not exist           s: press Start and wait for the run
    QTest::newRow("initialisation") << "" << false;
    QTest::newRow("arrival, query succeeded, image loaded") << "gu" << true;
    QTest::newRow("arrival, query succeeded, no image") << "u" << false;
    QTest::newRow("removal") << "gux" << false;
    QTest::newRow("removal and a new arrival") << "guxu" << true;
    QTest::newRow("Loaded, unit ready") << "ug" << true;
    QTest::newRow("Loaded, no unit ready") << "g" << false;
    QTest::newRow("Loaded after the unit went") << "uxg" << false;
    QTest::newRow("Rejected, unit ready") << "ugr" << false;
    QTest::newRow("FileError, unit ready") << "ugm" << false;
    QTest::newRow("Start pressed") << "ugs" << false;
}

void WindowCommandsTest::startRule() {
    QFETCH(QString, steps);
    QFETCH(bool, startEnabled);
    WindowBench bench;
    const QString good = bench.FilePath(QStringLiteral("good.mot"));
    const QString bad = bench.FilePath(QStringLiteral("bad.mot"));
    QVERIFY(WriteSRecordFile(good, VariantPProfile(), 64, 0));
    QVERIFY(WriteRejectedFile(bad));
    const auto window = bench.Open(QStringLiteral("p"));
    CFlashTransferDlg& dlg = *window;
    ModalAnswerer answerer;
    std::int32_t unit = -1;
    for (const QChar step : steps) {
        switch (step.toLatin1()) {
        case 'u':
            unit = bench.PlugUnit();
            QTRY_VERIFY(dlg.Controller().DeviceReady());
            break;
        case 'x':
            QVERIFY(bench.port.Unplug(unit));
            QTRY_VERIFY(!dlg.Controller().DeviceReady());
            break;
        case 'g':
            answerer.fileToChoose = good;
            dlg.OnCommand(ID_FILE_OPEN);
            QCOMPARE(answerer.boxes.back().text, QString::fromUtf8(LOAD_DONE_TEXT));
            break;
        case 'r':
            answerer.fileToChoose = bad;
            dlg.OnCommand(ID_FILE_OPEN);
            QCOMPARE(answerer.boxes.back().text, QString::fromUtf8(LOAD_REJECTED_TEXT));
            break;
        case 'm':
            dlg.Controller().OnFileChosen(bench.FilePath(QStringLiteral("gone.mot")).toStdString());
            QCOMPARE(answerer.boxes.back().icon, QMessageBox::Critical);
            break;
        case 's':
            QVERIFY(StartOf(dlg)->isEnabled());
            StartOf(dlg)->click();
            QVERIFY(dlg.Controller().IsDownloadRunning());
            break;
        }
    }
    QCOMPARE(StartOf(dlg)->isEnabled(), startEnabled);
}

void WindowCommandsTest::cancellingTheChooserKeepsTheImage() {
    WindowBench bench;
    const QString good = bench.FilePath(QStringLiteral("good.mot"));
    QVERIFY(WriteSRecordFile(good, VariantQProfile(), 64, 0));
    bench.PlugUnit();
    const auto window = bench.Open(QStringLiteral("q"));
    CFlashTransferDlg& dlg = *window;
    QTRY_VERIFY(dlg.Controller().DeviceReady());
    ModalAnswerer answerer;
    answerer.fileToChoose = good;
    dlg.OnCommand(ID_FILE_OPEN);
    QVERIFY(StartOf(dlg)->isEnabled());

    answerer.fileToChoose.clear();
    MenuItemOf(dlg, ID_FILE_OPEN)->trigger();
    QCOMPARE(answerer.choosersCancelled, 1);
    QCOMPARE(answerer.boxes.size(), 1u); // no message for a cancelled chooser
    QVERIFY(dlg.Controller().Image().imageLoaded);
    QVERIFY(StartOf(dlg)->isEnabled());
}

void WindowCommandsTest::failedLoadAfterAGoodOneDisablesStart() {
    WindowBench bench;
    const QString good = bench.FilePath(QStringLiteral("good.mot"));
    const QString bad = bench.FilePath(QStringLiteral("bad.mot"));
    QVERIFY(WriteSRecordFile(good, VariantQProfile(), 64, 0));
    QVERIFY(WriteRejectedFile(bad));
    bench.PlugUnit();
    const auto window = bench.Open(QStringLiteral("q"));
    CFlashTransferDlg& dlg = *window;
    QTRY_VERIFY(dlg.Controller().DeviceReady());
    ModalAnswerer answerer;
    answerer.fileToChoose = good;
    dlg.OnCommand(ID_FILE_OPEN);
    QVERIFY(StartOf(dlg)->isEnabled());

    answerer.fileToChoose = bad;
    dlg.OnCommand(ID_FILE_OPEN);
    QCOMPARE(answerer.boxes.back().text, QString::fromUtf8(LOAD_REJECTED_TEXT));
    QCOMPARE(answerer.boxes.back().icon, QMessageBox::Critical);
    QVERIFY(!dlg.Controller().Image().imageLoaded);
    QVERIFY(!StartOf(dlg)->isEnabled());
    QVERIFY(dlg.Controller().DeviceReady()); // the session is left alone
}

void WindowCommandsTest::initializeFollowsTheUnit() {
    WindowBench bench;
    const auto window = bench.Open(QStringLiteral("p"));
    CFlashTransferDlg& dlg = *window;
    QAction* item = MenuItemOf(dlg, ID_DATA_INITIALIZE);
    QVERIFY(!item->isEnabled()); // greyed while no unit is ready

    const std::int32_t unit = bench.PlugUnit();
    QTRY_VERIFY(item->isEnabled());
    QVERIFY(QApplication::overrideCursor() == nullptr); // the query's wait cursor has ended
    ModalAnswerer answerer;
    item->trigger();
    QVERIFY(QApplication::overrideCursor() == nullptr);
    QCOMPARE(answerer.BoxTexts(), QStringList{QString::fromUtf8(INITIALIZE_DONE_TEXT)});
    QCOMPARE(answerer.boxes[0].icon, QMessageBox::Information);
    QCOMPARE(answerer.boxes[0].caption, QStringLiteral("ZU-KNOT-P Flash Data Transfer Tool"));
    QCOMPARE(CountCaptureLinesWith(bench.port, QStringLiteral(" R 01007000300000000000") +
                                                   QStringLiteral("01D2")),
             1u);

    QVERIFY(bench.port.Unplug(unit));
    QTRY_VERIFY(!item->isEnabled());
}

void WindowCommandsTest::initializeUnreachableInModelQ() {
    WindowBench bench;
    bench.PlugUnit();
    const auto window = bench.Open(QStringLiteral("q"));
    CFlashTransferDlg& dlg = *window;
    QTRY_VERIFY(dlg.Controller().DeviceReady());
    QVERIFY(MenuItemOf(dlg, ID_DATA_INITIALIZE) == nullptr);
    ModalAnswerer answerer;
    dlg.OnCommand(ID_DATA_INITIALIZE); // the command exists, but nothing in Q issues it
    QVERIFY(answerer.boxes.empty());
    QCOMPARE(CountCaptureLinesWith(bench.port, QStringLiteral("01D2")), 0u);
}

// The rows show what the unit sent, byte for byte (bytes above 0x7F too), cut at a NUL, and the
// checksum in hexadecimal; an unplug puts the placeholders back.
void WindowCommandsTest::identityRowsShowTheUnitsBytes_data() {
    QTest::addColumn<QByteArray>("programName");
    QTest::addColumn<QString>("shown");
    QTest::newRow("eight letters") << QByteArray("PROGNAME") << QStringLiteral("PROGNAME");
    QTest::newRow("cut at a NUL") << QByteArray("AB\0CDEFG", 8) << QStringLiteral("AB");
    QTest::newRow("bytes above 0x7F")
        << QByteArray("K\xB5-\xC4\xFF") << QStringLiteral("K\u00B5-\u00C4\u00FF");
}

void WindowCommandsTest::identityRowsShowTheUnitsBytes() {
    QFETCH(QByteArray, programName);
    QFETCH(QString, shown);
    WindowBench bench;
    UnitConfig config;
    config.programName = programName.toStdString();
    config.version = "V1.10";
    config.checksum = 0x0AFF;
    const std::int32_t unit = bench.port.Plug(config);
    const auto window = bench.Open(QStringLiteral("q"));
    CFlashTransferDlg& dlg = *window;
    QTRY_VERIFY(dlg.Controller().DeviceReady());
    QCOMPARE(ListOf(dlg)->rowCount(), 3);
    QCOMPARE(ListOf(dlg)->item(0, 0)->text(), QStringLiteral("Program Name"));
    QCOMPARE(ListOf(dlg)->item(1, 0)->text(), QStringLiteral("Version"));
    QCOMPARE(ListOf(dlg)->item(2, 0)->text(), QStringLiteral("Check SUM"));
    QCOMPARE(Cell(dlg, 0), shown);
    QCOMPARE(Cell(dlg, 1), QStringLiteral("V1.10"));
    QCOMPARE(Cell(dlg, 2), QStringLiteral("0AFF"));

    QVERIFY(bench.port.Unplug(unit));
    QTRY_VERIFY(ShowsPlaceholders(dlg));
}

void WindowCommandsTest::unplugWhileAModalWindowIsOpenIsHandledAtOnce_data() {
    QTest::addColumn<int>("command");
    QTest::addColumn<QString>("modal"); // the class of the window under which the unplug happens
    QTest::newRow("load message box") << int{ID_FILE_OPEN} << "QMessageBox";
    QTest::newRow("file chooser") << int{ID_FILE_OPEN} << "knot::qt::CExFileDialog";
    QTest::newRow("About box") << int{ID_APP_ABOUT_P} << "knot::qt::CAboutDlg";
}

void WindowCommandsTest::unplugWhileAModalWindowIsOpenIsHandledAtOnce() {
    QFETCH(int, command);
    QFETCH(QString, modal);
    WindowBench bench;
    const QString good = bench.FilePath(QStringLiteral("good.mot"));
    QVERIFY(WriteSRecordFile(good, VariantPProfile(), 64, 0));
    const std::int32_t unit = bench.PlugUnit();
    const auto window = bench.Open(QStringLiteral("p"));
    CFlashTransferDlg& dlg = *window;
    QTRY_VERIFY(dlg.Controller().DeviceReady());
    QCOMPARE(Cell(dlg, 0), QStringLiteral("PROGNAME"));

    ModalAnswerer answerer;
    answerer.fileToChoose = good;
    bool handledWhileOpen = false;
    answerer.whileModalOpen = [&](QWidget& open) {
        if (!open.inherits(modal.toLatin1().constData())) {
            return;
        }
        QVERIFY(bench.port.Unplug(unit));
        // The removal runs inside the window's own loop: the list is reset before it closes.
        handledWhileOpen = QTest::qWaitFor([&] { return ShowsPlaceholders(dlg); }, 5000) &&
                           open.isVisible() && !dlg.Controller().DeviceReady();
    };
    dlg.OnCommand(command);
    QVERIFY(handledWhileOpen);
    QVERIFY(!StartOf(dlg)->isEnabled()); // a load after the removal: no unit ready
    QVERIFY(!MenuItemOf(dlg, ID_DATA_INITIALIZE)->isEnabled());

    answerer.whileModalOpen = nullptr;
    bench.PlugUnit(); // and the poller that the removal started finds the next one
    QTRY_VERIFY(MenuItemOf(dlg, ID_DATA_INITIALIZE)->isEnabled());
    QCOMPARE(StartOf(dlg)->isEnabled(), dlg.Controller().Image().imageLoaded);
}

QTEST_MAIN(WindowCommandsTest)
#include "window_commands_test.moc"
