// The window's behaviour with a unit on the in-process loopback port: the Start rules, the file
// command and its chooser, Initialize, unplugging under a message box, closing while workers
// run, the "/FILE" switch, and a whole run of posted steps ending with the closing message.
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

namespace {

constexpr int kRunTimeoutMs = 60000;

QString Cell(const CFlashTransferDlg& dlg, int row) {
    const QTableWidgetItem* item = ListOf(dlg)->item(row, 1);
    return item == nullptr ? QString() : item->text();
}

bool ShowsPlaceholders(const CFlashTransferDlg& dlg) {
    if (ListOf(dlg)->rowCount() != 3) {
        return false;
    }
    for (int row = 0; row < 3; ++row) {
        if (Cell(dlg, row) != QLatin1String(IDENTITY_PLACEHOLDER)) {
            return false;
        }
    }
    return true;
}

std::size_t CountCaptureLinesWith(const LoopbackDriverPort& port, const QString& part) {
    std::size_t count = 0;
    for (const std::string& line : port.CaptureLines()) {
        count += QString::fromStdString(line).contains(part) ? 1 : 0;
    }
    return count;
}

} // namespace

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
    void downloadGoesOnUnderTheAboutBox();
    void closeStopsTheWorkers_data();
    void closeStopsTheWorkers();
    void dumpSwitchWritesTheDumps_data();
    void dumpSwitchWritesTheDumps();
    void wholeRunEndsWithTheClosingMessage_data();
    void wholeRunEndsWithTheClosingMessage();
    void closeRequestMidRunIsServedByTheWindowsLoop_data();
    void closeRequestMidRunIsServedByTheWindowsLoop();
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

void WindowCommandsTest::downloadGoesOnUnderTheAboutBox() {
    WindowBench bench;
    const QString file = bench.FilePath(QStringLiteral("image.mot"));
    QVERIFY(WriteSRecordFile(file, VariantQProfile(), 0x4000, 0));
    bench.PlugUnit();
    const auto window = bench.Open(QStringLiteral("q"));
    CFlashTransferDlg& dlg = *window;
    QTRY_VERIFY(dlg.Controller().DeviceReady());
    ModalAnswerer answerer;
    answerer.fileToChoose = file;
    dlg.OnCommand(ID_FILE_OPEN);
    const DownloadReport& report = dlg.Controller().Core().Report();
    bool wentOn = false;
    answerer.whileModalOpen = [&](QWidget& open) {
        if (open.inherits("knot::qt::CAboutDlg")) {
            // Started while the About box is open: its steps run in the box's own loop.
            StartOf(dlg)->click();
            wentOn =
                QTest::qWaitFor([&] { return report.cpuBlocksSent >= 100; }) && open.isVisible();
        }
    };
    dlg.OnCommand(ID_APP_ABOUT_Q);
    QVERIFY(wentOn);
    QTRY_VERIFY_WITH_TIMEOUT(answerer.BoxTexts().contains(QString::fromUtf8(DOWNLOAD_DONE_TEXT)),
                             kRunTimeoutMs);
    QCOMPARE(report.cpuBlocksSent, 512u);
}

void WindowCommandsTest::closeStopsTheWorkers_data() {
    QTest::addColumn<QString>("state");
    QTest::newRow("polling") << "polling";
    QTest::newRow("session") << "session";
    QTest::newRow("run") << "run";
}

void WindowCommandsTest::closeStopsTheWorkers() {
    QFETCH(QString, state);
    WindowBench bench;
    const QString good = bench.FilePath(QStringLiteral("good.mot"));
    QVERIFY(WriteSRecordFile(good, VariantQProfile(), 0x2000, 0x400));
    const auto window = bench.Open(QStringLiteral("q"));
    CFlashTransferDlg& dlg = *window;
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    const UnitSession& session = dlg.Controller().Session();
    ModalAnswerer answerer;
    if (state == QLatin1String("polling")) {
        QVERIFY(session.IsPollerRunning());
    } else {
        bench.PlugUnit();
        QTRY_VERIFY(dlg.Controller().DeviceReady());
        QVERIFY(session.IsWatcherRunning());
    }
    if (state == QLatin1String("run")) {
        answerer.fileToChoose = good;
        dlg.OnCommand(ID_FILE_OPEN);
        StartOf(dlg)->click();
        QTRY_VERIFY(dlg.Controller().Core().Report().cpuBlocksSent >= 10);
    }
    QVERIFY(dlg.close()); // the close box
    QVERIFY(!dlg.isVisible());
    QVERIFY(!session.IsPollerRunning());
    QVERIFY(!session.IsWatcherRunning());
    QVERIFY(!dlg.Controller().DeviceReady() ||
            dlg.Controller().Core().Link().Link().handle == INVALID_PORT_HANDLE);
    // Messages still queued for the closed window start nothing and send nothing.
    const std::size_t packets = bench.port.CaptureLines().size();
    QTest::qWait(50);
    QCOMPARE(bench.port.CaptureLines().size(), packets);
    QVERIFY(!session.IsPollerRunning());
    QVERIFY(answerer.boxes.size() <= 1u); // only the load's message
}

void WindowCommandsTest::dumpSwitchWritesTheDumps_data() {
    QTest::addColumn<QString>("argument");
    QTest::addColumn<bool>("dumps");
    QTest::newRow("/FILE") << "/FILE" << true;
    QTest::newRow("/file") << "/file" << false;
    QTest::newRow("/FILEX") << "/FILEX" << false;
}

void WindowCommandsTest::dumpSwitchWritesTheDumps() {
    QFETCH(QString, argument);
    QFETCH(bool, dumps);
    WindowBench bench;
    const QString good = bench.FilePath(QStringLiteral("good.mot"));
    QVERIFY(WriteSRecordFile(good, VariantQProfile(), 64, 0));
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(bench.folder.path()));
    {
        const auto window = bench.Open(QStringLiteral("q"),
                                       DumpSwitchGiven({QStringLiteral("KNOT-Q_FDT"), argument}));
        ModalAnswerer answerer;
        answerer.fileToChoose = good;
        window->OnCommand(ID_FILE_OPEN);
        QCOMPARE(answerer.BoxTexts(), QStringList{QString::fromUtf8(LOAD_DONE_TEXT)});
    }
    QDir::setCurrent(previous);
    const QFileInfo cpu(bench.FilePath(QStringLiteral("CPU_Mem.bin")));
    const QFileInfo flash(bench.FilePath(QStringLiteral("Flash_Mem.bin")));
    QCOMPARE(cpu.exists(), dumps);
    QCOMPARE(flash.exists(), dumps);
    if (dumps) {
        QCOMPARE(cpu.size(), 262144);
        QCOMPARE(flash.size(), 524288);
    }
}

void WindowCommandsTest::wholeRunEndsWithTheClosingMessage_data() {
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("flashBytes");
    QTest::newRow("Q, CPU only") << "q" << 0;
    QTest::newRow("P, CPU and flash") << "p" << 96;
}

void WindowCommandsTest::wholeRunEndsWithTheClosingMessage() {
    QFETCH(QString, model);
    QFETCH(int, flashBytes);
    const VariantProfile& profile = ProfileOf(model);
    WindowBench bench;
    const QString file = bench.FilePath(QStringLiteral("image.mot"));
    QVERIFY(WriteSRecordFile(file, profile, 100, flashBytes));
    const std::int32_t unit = bench.PlugUnit();
    const auto window = bench.Open(model);
    CFlashTransferDlg& dlg = *window;
    dlg.show();
    QTRY_VERIFY(dlg.Controller().DeviceReady());
    ModalAnswerer answerer;
    answerer.fileToChoose = file;
    dlg.OnCommand(ID_FILE_OPEN);
    QVERIFY(StartOf(dlg)->isEnabled());

    StartOf(dlg)->click();
    QVERIFY(!StartOf(dlg)->isEnabled());
    QVERIFY(!MenuItemOf(dlg, ID_FILE_OPEN)->isEnabled()); // no load under a running download
    QTRY_VERIFY_WITH_TIMEOUT(answerer.boxes.size() == 2u, kRunTimeoutMs);

    const ModalAnswerer::Box& closing = answerer.boxes[1];
    QCOMPARE(closing.text, QString::fromUtf8(DOWNLOAD_DONE_TEXT));
    QCOMPARE(closing.icon, QMessageBox::Information);
    QCOMPARE(closing.caption, QString::fromUtf8(ProgramTitle(profile)));
    QCOMPARE(StatusOf(dlg)->text(), QString());
    QCOMPARE(ProgressOf(dlg)->maximum(), static_cast<int>(profile.commitWaitSteps));
    QCOMPARE(ProgressOf(dlg)->value(), 0);
    QVERIFY(!StartOf(dlg)->isEnabled());
    QVERIFY(ShowsPlaceholders(dlg));
    QCOMPARE(bench.sleeps, static_cast<int>(profile.commitWaitSteps) + 1);

    // Every step was handled: the unit holds what the image holds.
    const DownloadReport& report = dlg.Controller().Core().Report();
    QVERIFY(report.succeeded);
    QCOMPARE(report.cpuBlocksSent, 4u); // 100 bytes: blocks 0 to 3
    QCOMPARE(report.cpuBlocksSkipped, 8188u);
    const FirmwareImage& image = dlg.Controller().Image();
    QCOMPARE(report.flashBlocksSent, image.FlashBlockCount());
    const std::vector<std::uint8_t> cpu = bench.port.CpuMemory(unit);
    QVERIFY(std::equal(cpu.begin(), cpu.begin() + 128, image.CpuRegion.begin()));
    if (flashBytes > 0) {
        const std::vector<std::uint8_t> flash = bench.port.FlashMemory(unit);
        QVERIFY(std::equal(flash.begin(), flash.begin() + image.flashExtent,
                           image.FlashRegion.begin()));
    }
    QCOMPARE(CountCaptureLinesWith(bench.port, QStringLiteral(" R 010070003000000000003F80")), 1u);
}

void WindowCommandsTest::closeRequestMidRunIsServedByTheWindowsLoop_data() {
    QTest::addColumn<bool>("inWait");
    QTest::newRow("blocks") << false;
    QTest::newRow("wait after the commit") << true;
}

// The run goes through the window's own modal loop; a timer must fire between two steps, and
// the Escape it presses must end the window there, with no packet after it.
void WindowCommandsTest::closeRequestMidRunIsServedByTheWindowsLoop() {
    QFETCH(bool, inWait);
    WindowBench bench;
    const QString file = bench.FilePath(QStringLiteral("image.mot"));
    QVERIFY(WriteSRecordFile(file, VariantQProfile(), 0x1000, 0x400));
    bench.PlugUnit();
    const auto window = bench.Open(QStringLiteral("q"));
    CFlashTransferDlg& dlg = *window;
    QTRY_VERIFY(dlg.Controller().DeviceReady());
    ModalAnswerer answerer; // also closes the closing message, should the run get that far
    answerer.fileToChoose = file;
    dlg.OnCommand(ID_FILE_OPEN);
    QVERIFY(StartOf(dlg)->isEnabled());

    const DownloadReport& report = dlg.Controller().Core().Report();
    bool fired = false;
    bool midRun = false;
    bool placeholders = false;
    QString status;
    std::size_t packetsAtClose = 0;
    QTimer timer;
    timer.setInterval(1);
    connect(&timer, &QTimer::timeout, &dlg, [&] {
        const bool reached = inWait ? report.waitStepsDone >= 3 : report.flashBlocksSent >= 3;
        if (fired || !reached) {
            return;
        }
        fired = true;
        midRun = dlg.Controller().IsDownloadRunning();
        placeholders = ShowsPlaceholders(dlg);
        status = StatusOf(dlg)->text();
        packetsAtClose = bench.port.CaptureLines().size();
        QTest::keyClick(&dlg, Qt::Key_Escape);
    });
    QTimer::singleShot(0, &dlg, [&] {
        StartOf(dlg)->click();
        timer.start();
    });
    dlg.exec();

    QVERIFY(fired);
    QVERIFY2(midRun, "the timer fired only after the run");
    if (inWait) {
        QVERIFY(placeholders);
        QCOMPARE(status, QString::fromUtf8(STATUS_WRITING));
    }
    QCoreApplication::processEvents(); // the steps still queued for the closed window
    QCOMPARE(bench.port.CaptureLines().size(), packetsAtClose);
    QVERIFY(!dlg.Controller().IsDownloadRunning());
    QCOMPARE(CountCaptureLinesWith(bench.port, QStringLiteral(" R 010070003000000000003F80")),
             inWait ? 1u : 0u);
}

QTEST_MAIN(WindowCommandsTest)
#include "window_commands_test.moc"
