// KNOT-Station: the station window over the machine's driver port. Without arguments the operator
// chooses the image; with the kiosk command line the shift is locked to the one given.
#include "station_window.h"
#include "transfer_log.h"
#include "unit_driver_port.h"

#include <QApplication>

#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    using namespace knot::qt;
    QApplication app(argc, argv);
    std::vector<std::string> arguments;
    for (const QString& argument : QCoreApplication::arguments()) {
        arguments.push_back(argument.toStdString());
    }
    TransferLog log = TransferLog::AtPlatformPaths();
    CStationWindow window(CreateUnitDriverPort, log);
    if (!window.Desk().StartFromCommandLine(arguments)) {
        return EXIT_FAILURE; // a message box has said why
    }
    window.show();
    QApplication::exec();
    return EXIT_SUCCESS;
}
