// The station window on the offscreen platform over in-process units: three slots, one unit
// refusing a block, as the operator sees them (tiles, tally, records, report); a close while a
// unit writes its flash; the image and model chosen from the menus; every tile colour readable.
#include "knot_names.h"

#include "forwarding_driver_port.h"
#include "gui_test_support.h"
#include "station_tile_widget.h"
#include "station_window.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QtTest>

#include <map>

namespace {

constexpr int kRunTimeoutMs = 30000;

using SlotTexts = std::map<QString, QString>;

struct StationBench {
    StationBench() {
        WriteSRecordFile(image, ProfileOf(QStringLiteral("q")), 256, 64);
        window.show();
    }
    bool Start(const char* commitWaitMs) {
        return window.Desk().StartFromCommandLine({"KNOT-Station", "--model", "q", "--report",
                                                   report.toStdString(), "--commit-wait-ms",
                                                   commitWaitMs, image.toStdString()});
    }
    void Plug(const char* slot, const char* fault = nullptr) {
        UnitConfig unit;
        unit.slot = slot;
        if (fault != nullptr) {
            unit.faults.push_back(*ParseFaultSpec(fault));
        }
        bench.port.Plug(unit);
    }
    // Each tile's text of `name` by the tile's slot.
    SlotTexts TileTexts(const char* name) const {
        SlotTexts texts;
        for (const auto* tile : window.findChildren<CStationTileWidget*>()) {
            texts[tile->findChild<QLabel*>(QStringLiteral("tileSlot"))->text()] =
                tile->findChild<QLabel*>(QString::fromLatin1(name))->text();
        }
        return texts;
    }
    QString Text(const char* name) const {
        if (const auto* records = window.findChild<QPlainTextEdit*>(QString::fromLatin1(name))) {
            return records->toPlainText();
        }
        return window.findChild<QLabel*>(QString::fromLatin1(name))->text();
    }
    QAction* Action(const char* text) const {
        for (QAction* item : window.findChildren<QAction*>()) {
            if (item->text() == QString::fromUtf8(text)) {
                return item;
            }
        }
        return nullptr;
    }
    // The report's result of each slot.
    SlotTexts ReportedResults() const {
        QFile file(report);
        SlotTexts results;
        if (file.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : file.readAll().split('\n')) {
                const QJsonObject record = QJsonDocument::fromJson(line).object();
                if (!record.isEmpty()) {
                    results[record[QStringLiteral("slot")].toString()] =
                        record[QStringLiteral("result")].toString();
                }
            }
        }
        return results;
    }

    WindowBench bench;
    QString image = bench.FilePath(QStringLiteral("small.mot"));
    QString report = bench.FilePath(QStringLiteral("report.jsonl"));
    CStationWindow window{[this] { return std::make_unique<ForwardingDriverPort>(bench.port); },
                          bench.log};
};

// WCAG's contrast ratio of two colours, 1 to 21.
double Contrast(const QColor& a, const QColor& b) {
    const auto luminance = [](const QColor& c) {
        const auto linear = [](double v) {
            return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
    };
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

} // namespace

class StationWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void ThreeSlotsOneRefusedBlock() {
        StationBench station;
        QVERIFY(station.Start("0"));
        station.Plug("bay-1");
        station.Plug("bay-2", "refuse=cpu:1");
        station.Plug("bay-3");
        QTRY_COMPARE_WITH_TIMEOUT(station.Text("m_records").count(QLatin1Char('\n')), 2,
                                  kRunTimeoutMs);
        const SlotTexts headlines{{"bay-1", "PASS — unplug it"},
                                  {"bay-2", "FAIL — unplug it"},
                                  {"bay-3", "PASS — unplug it"}};
        QCOMPARE(station.TileTexts("tileHeadline"), headlines);
        QVERIFY(station.TileTexts("tileDetail")[QStringLiteral("bay-2")].contains("block 1"));
        QCOMPARE(station.Text("m_tally"),
                 QStringLiteral("2 passed, 1 failed, 0 interrupted, 0 in progress"));
        const SlotTexts results{{"bay-1", "written"}, {"bay-2", "failed"}, {"bay-3", "written"}};
        QCOMPARE(station.ReportedResults(), results);
        QVERIFY(station.window.findChild<QLabel*>(QStringLiteral("headerShortSha"))
                    ->toolTip()
                    .startsWith(station.Text("headerShortSha")));
        QVERIFY(station.window.close());
    }

    void CloseWaitsForTheCommittedUnit() {
        StationBench station;
        QVERIFY(station.Start("2000"));
        station.Plug("bay-1");
        QTRY_COMPARE_WITH_TIMEOUT(station.TileTexts("tileHeadline")[QStringLiteral("bay-1")],
                                  QStringLiteral("committed — keep it plugged in"), kRunTimeoutMs);
        QVERIFY(!station.window.close());
        QVERIFY(station.window.isVisible());
        QVERIFY(station.Text("m_status").contains("keep it plugged in"));
        QTRY_VERIFY_WITH_TIMEOUT(!station.window.isVisible(), kRunTimeoutMs);
        QCOMPARE(station.ReportedResults(), SlotTexts({{"bay-1", "written"}}));
    }

    void TheOperatorChoosesTheImageAndItsModel() {
        StationBench station;
        ModalAnswerer answerer;
        answerer.fileToChoose = station.image;
        QVERIFY(station.window.Desk().StartFromCommandLine({"KNOT-Station"}));
        QVERIFY(!station.Action("&Start")->isEnabled());
        station.Action("&Open An S-Record...")->trigger();
        QCOMPARE(station.Text("headerModel"), QStringLiteral("KNOT-Q"));
        QVERIFY(station.Action("&Start")->isEnabled());
        // The image is checked again for the other model; KNOT-P refuses its flash records, and
        // the KNOT-Q image stays, its model checked in the menu.
        station.Action("KNOT-P")->trigger();
        QCOMPARE(answerer.boxes.size(), std::size_t{1});
        QVERIFY(answerer.boxes[0].text.contains("flash base"));
        QCOMPARE(station.Text("headerModel"), QStringLiteral("KNOT-Q"));
        QVERIFY(station.Action("KNOT-Q")->isChecked());
        station.Action("&About KNOT Station...")->trigger();
        QCOMPARE(answerer.aboutCaptions, std::vector<QString>{"About KNOT Station"});
    }

    void TileColoursAreReadable_data() {
        QTest::addColumn<int>("colour");
        for (const auto& [name, colour] : {std::pair{"Idle", TileColour::Idle},
                                           {"Working", TileColour::Working},
                                           {"Hold", TileColour::Hold},
                                           {"Pass", TileColour::Pass},
                                           {"Fail", TileColour::Fail}}) {
            QTest::newRow(name) << static_cast<int>(colour);
        }
    }
    void TileColoursAreReadable() {
        QFETCH(int, colour);
        const TileColours colours = TileColoursOf(static_cast<TileColour>(colour));
        QVERIFY(Contrast(colours.text, colours.background) >= 4.5); // text
        QVERIFY(Contrast(colours.fill, colours.groove) >= 3.0);     // the bar's fill
    }
};

QTEST_MAIN(StationWindowTest)
#include "station_window_test.moc"
