// Stands in for icacls.exe in the installer test's Wine prefix (Wine's own icacls changes no
// rights): appends its arguments, one a line, to the file named by KNOT_ICACLS_LOG and exits
// with the status in KNOT_ICACLS_STATUS (0 when unset), so the test sees what the installer
// asked for and how it takes a failure.
#include "knot_names.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    const char* log = std::getenv("KNOT_ICACLS_LOG");
    if (log == nullptr) {
        return 1;
    }
    std::FILE* file = std::fopen(log, "a");
    if (file == nullptr) {
        return 1;
    }
    for (int i = 1; i < argc; ++i) {
        std::fprintf(file, "%s\n", argv[i]);
    }
    std::fprintf(file, "--\n");
    std::fclose(file);
    const char* status = std::getenv("KNOT_ICACLS_STATUS");
    return status == nullptr ? 0 : std::atoi(status);
}
