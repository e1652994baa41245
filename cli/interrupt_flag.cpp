// The interrupt flag behind Ctrl-C.
#include "interrupt_flag.h"

#include "terminal_output.h"

#include <atomic>
#include <csignal>
#include <cstdlib>

namespace {

std::atomic<bool> g_interrupted{false};
constexpr int INTERRUPTED_STATUS = 130;

extern "C" void OnInterrupt(int) {
    if (g_interrupted.exchange(true)) {
        RestoreConsole();               // no exit handler runs after _Exit
        std::_Exit(INTERRUPTED_STATUS); // asked twice: stop waiting for the current exchange
    }
}

} // namespace

void WatchForInterrupt() {
    static bool installed = false;
    if (!installed) {
        std::signal(SIGINT, OnInterrupt);
        installed = true;
    }
}

bool Interrupted() {
    return g_interrupted.load();
}
