// The window's runs with a unit on the in-process loopback port: a run under the About box,
// closing while workers run, the "/FILE" switch, and a whole run of posted steps ending with the
// closing message.
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

} // namespace

class WindowRunTest : public QObject {
    Q_OBJECT

  private slots:
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

void WindowRunTest::downloadGoesOnUnderTheAboutBox() {
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

void WindowRunTest::closeStopsTheWorkers_data() {
    QTest::addColumn<QString>("state");
    QTest::newRow("polling") << "polling";
    QTest::newRow("session") << "session";
    QTest::newRow("run") << "run";
}

void WindowRunTest::closeStopsTheWorkers() {
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

void WindowRunTest::dumpSwitchWritesTheDumps_data() {
    QTest::addColumn<QString>("argument");
    QTest::addColumn<bool>("dumps");
    QTest::newRow("/FILE") << "/FILE" << true;
    QTest::newRow("/file") << "/file" << false;
    QTest::newRow("/FILEX") << "/FILEX" << false;
}

void WindowRunTest::dumpSwitchWritesTheDumps() {
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

void WindowRunTest::wholeRunEndsWithTheClosingMessage_data() {
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("flashBytes");
    QTest::newRow("Q, CPU only") << "q" << 0;
    QTest::newRow("P, CPU and flash") << "p" << 96;
}

void WindowRunTest::wholeRunEndsWithTheClosingMessage() {
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

void WindowRunTest::closeRequestMidRunIsServedByTheWindowsLoop_data() {
    QTest::addColumn<bool>("inWait");
    QTest::newRow("blocks") << false;
    QTest::newRow("wait after the commit") << true;
}

// The run goes through the window's own modal loop; a timer must fire between two steps, and
// the Escape it presses must end the window there, with no packet after it.
void WindowRunTest::closeRequestMidRunIsServedByTheWindowsLoop() {
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

QTEST_MAIN(WindowRunTest)
#include "window_run_test.moc"
