// The application object: reads the "/FILE" switch, runs the main window modally, and ends.
// Exactly one exists per program; its name becomes the program title once the window starts.
#pragma once

#include <QApplication>
#include <QStringList>

namespace knot::core {
struct VariantProfile;
} // namespace knot::core

namespace knot::device {
class DriverPort;
} // namespace knot::device

namespace knot::qt {
using namespace knot::core;
using namespace knot::device;

class CFlashTransferApp : public QApplication {
    Q_OBJECT

  public:
    CFlashTransferApp(int& argc, char** argv);

    // The start-up: the main window over `port`, run modally and destroyed. Returns the exit
    // status of the program, 0 once the window has been closed.
    int InitInstance(const VariantProfile& profile, DriverPort& port);
};

// Whether the command line (the program's name first) turns the memory dumps on, by the rule of
// window_commands.h.
bool DumpSwitchGiven(const QStringList& arguments);

} // namespace knot::qt
