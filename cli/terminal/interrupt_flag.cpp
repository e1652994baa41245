// The stop flag and the last words behind Ctrl-C, SIGTERM and SIGHUP, or the console's events.
#include "interrupt_flag.h"

#include "terminal_output.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <pthread.h>
#endif

namespace knot::cli {
namespace {

constexpr int INTERRUPTED_STATUS = 130;

std::atomic<bool> g_interrupted{false};
std::mutex g_wordsMutex;
std::function<void()> g_words; // guarded by g_wordsMutex

// Says the last words and ends the program, without running anything else of it.
[[noreturn]] void EndNow() {
    g_wordsMutex.lock(); // kept: the words' objects cannot go while they are said
    if (g_words) {
        g_words();
    }
    std::fflush(stdout);
    RestoreConsole(); // no exit handler runs after this
#ifdef _WIN32
    TerminateProcess(GetCurrentProcess(), INTERRUPTED_STATUS);
#endif
    std::_Exit(INTERRUPTED_STATUS);
}

#ifdef _WIN32

BOOL WINAPI OnConsoleEvent(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        if (!g_interrupted.exchange(true)) {
            return TRUE;
        }
        EndNow();
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        // The system ends the program a few seconds after this event: the records go now.
        g_interrupted = true;
        EndNow();
    default:
        return FALSE;
    }
}

#else

// The one thread that takes the stop signals, which every other thread leaves blocked: it may
// lock, allocate and write as any thread does.
void TakeSignals(sigset_t signals) {
    for (;;) {
        int taken = 0;
        if (sigwait(&signals, &taken) == 0 && g_interrupted.exchange(true)) {
            EndNow();
        }
    }
}

#endif

} // namespace

void WatchForInterrupt() {
    static std::once_flag installed;
    std::call_once(installed, [] {
#ifdef _WIN32
        SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
#else
        std::signal(SIGPIPE, SIG_IGN); // a closed output fails the write, nothing more
        sigset_t signals;
        sigemptyset(&signals);
        for (int stop : {SIGINT, SIGTERM, SIGHUP}) {
            sigaddset(&signals, stop);
        }
        // Blocked here, before the command starts a thread: every thread inherits the mask.
        pthread_sigmask(SIG_BLOCK, &signals, nullptr);
        std::thread([signals] { TakeSignals(signals); }).detach();
#endif
    });
}

bool Interrupted() {
    return g_interrupted.load();
}

LastWords::LastWords(std::function<void()> words) {
    std::lock_guard lock(g_wordsMutex);
    g_words = std::move(words);
}

LastWords::~LastWords() {
    std::lock_guard lock(g_wordsMutex);
    g_words = nullptr;
}

} // namespace knot::cli
