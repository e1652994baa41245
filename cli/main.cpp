// knot-fdt: the transfer tool's operations from the command line, one sub-command each, over the
// machine's driver port.
#include "run_command_line.h"
#include "terminal_output.h"
#include "unit_driver_port.h"

#ifdef _WIN32
#include <windows.h>
#endif

int main(int argc, char** argv) {
    using namespace knot::cli;
#ifdef _WIN32
    // Held until the program has ended, so that the installer and the uninstaller never replace
    // or remove knot-fdt.exe while it runs.
    CreateMutexW(nullptr, FALSE, L"Global\\" KNOT_RUNNING_MUTEX);
#endif
    // Before anything is printed: whether live lines may be redrawn, and on a Windows console
    // its escape sequences turned on.
    PrepareConsole();
    return RunCommandLine(argc, argv, CreateUnitDriverPort);
}
