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
    // The arguments as their bytes (QApplication has taken its own out of argv): a path that is
    // not UTF-8 still opens, where a round trip through QString would have mangled it.
    const std::vector<std::string> arguments(argv, argv + argc);
    TransferLog log = TransferLog::AtPlatformPaths();
    CStationWindow window(CreateUnitDriverPort, log);
    if (!window.Desk().StartFromCommandLine(arguments)) {
        return EXIT_FAILURE; // a message box has said why
    }
    window.show();
    QApplication::exec();
    return EXIT_SUCCESS;
}
