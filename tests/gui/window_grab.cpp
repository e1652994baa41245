// Saves what an X11 window of another process shows now as a PNG file: the whole window, or
// only the values column of the identity list of model q or p, where the main window puts it
// (inside its grid lines, so that the current cell's frame in the first column stays out).
// Usage: knot-window-grab WINDOW_ID OUTPUT.png [q|p]
#include "knot_names.h"

#include "flash_transfer_dlg.h"
#include "gui_test_support.h"

#include <QApplication>
#include <QLayout>
#include <QPixmap>
#include <QScreen>
#include <QTableWidget>

#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    bool isNumber = false;
    const WId window = args.size() > 2 ? args[1].toULongLong(&isNumber) : 0;
    if (!isNumber || args.size() > 4 ||
        (args.size() == 4 && args[3] != QLatin1String("q") && args[3] != QLatin1String("p"))) {
        std::fprintf(stderr, "usage: knot-window-grab WINDOW_ID OUTPUT.png [q|p]\n");
        return 2;
    }
    QRect area(0, 0, -1, -1);
    if (args.size() == 4) {
        // The same window, laid out but never shown, says where its list sits.
        WindowBench bench;
        const auto dlg = bench.Open(args[3]);
        dlg->layout()->activate();
        const QTableWidget& list = *ListOf(*dlg);
        const int last = list.rowCount() - 1;
        const QRect values(list.columnViewportPosition(1), list.rowViewportPosition(0),
                           list.columnWidth(1),
                           list.rowViewportPosition(last) + list.rowHeight(last));
        const QPoint origin = list.mapTo(dlg.get(), QPoint(list.frameWidth(), list.frameWidth()));
        area = values.translated(origin).adjusted(2, 2, -2, -2);
        dlg->reject();
    }
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(window, area.x(), area.y(),
                                                                      area.width(), area.height());
    if (shot.isNull() || !shot.save(args[2])) {
        std::fprintf(stderr, "cannot grab window %s into %s\n", qPrintable(args[1]),
                     qPrintable(args[2]));
        return 1;
    }
    return 0;
}
