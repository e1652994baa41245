#include "terminal_output.h"

#include <atomic>
#include <cstdlib>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace knot::cli {
namespace {

// Standard output and standard error, in that order.
constexpr int STREAMS = 2;
std::atomic<OutputMode> g_modes[STREAMS] = {OutputMode::PlainLines, OutputMode::PlainLines};

int StreamIndex(std::FILE* out) {
    return out == stderr ? 1 : 0;
}

#ifdef _WIN32
// The console modes found before they were changed, given back at the end.
struct SavedMode {
    HANDLE handle = INVALID_HANDLE_VALUE;
    DWORD mode = 0;
    std::atomic<bool> changed{false};
};
SavedMode g_saved[STREAMS];

HANDLE HandleOf(std::FILE* out) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(out)));
}

ConsoleAnswers AskConsole(std::FILE* out, SavedMode& saved) {
    ConsoleAnswers answers;
    HANDLE handle = HandleOf(out);
    DWORD mode = 0;
    // A file, a pipe or NUL has no console mode.
    answers.isConsole = handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
    answers.takesEscapes = answers.isConsole && (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
    if (answers.isConsole && !answers.takesEscapes) {
        answers.turnedOn = SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
        if (answers.turnedOn) {
            saved.handle = handle;
            saved.mode = mode;
            saved.changed = true;
        }
    }
    return answers;
}

// Ctrl-C, Ctrl-Break or a closed console window that nothing else handles ends the program
// without its exit handlers: the modes are given back here first.
BOOL WINAPI RestoreOnControl(DWORD) {
    RestoreConsole();
    return FALSE;
}
#else
ConsoleAnswers AskConsole(std::FILE* out) {
    ConsoleAnswers answers;
    answers.isConsole = isatty(fileno(out)) != 0;
    answers.takesEscapes = answers.isConsole; // a terminal here reads escape sequences
    return answers;
}
#endif

} // namespace

OutputMode ChooseOutputMode(const ConsoleAnswers& answers) {
    if (answers.isConsole && (answers.takesEscapes || answers.turnedOn)) {
        return OutputMode::EscapeSequences;
    }
    return OutputMode::PlainLines;
}

void PrepareConsole() {
    std::FILE* streams[STREAMS] = {stdout, stderr};
    for (int i = 0; i < STREAMS; ++i) {
#ifdef _WIN32
        g_modes[i] = ChooseOutputMode(AskConsole(streams[i], g_saved[i]));
#else
        g_modes[i] = ChooseOutputMode(AskConsole(streams[i]));
#endif
    }
#ifdef _WIN32
    std::atexit(RestoreConsole);
    SetConsoleCtrlHandler(RestoreOnControl, TRUE);
#endif
}

void RestoreConsole() {
#ifdef _WIN32
    for (SavedMode& saved : g_saved) {
        if (saved.changed.exchange(false)) {
            SetConsoleMode(saved.handle, saved.mode);
        }
    }
#endif
}

bool IsTerminal(std::FILE* out) {
    return g_modes[StreamIndex(out)] == OutputMode::EscapeSequences;
}

TerminalSize TerminalSizeOf(std::FILE* out, TerminalSize fallback) {
#ifdef _WIN32
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (GetConsoleScreenBufferInfo(HandleOf(out), &info)) {
        return {static_cast<std::size_t>(info.srWindow.Right - info.srWindow.Left + 1),
                static_cast<std::size_t>(info.srWindow.Bottom - info.srWindow.Top + 1)};
    }
#else
    winsize size{};
    if (ioctl(fileno(out), TIOCGWINSZ, &size) == 0 && size.ws_col > 1) {
        return {size.ws_col, size.ws_row};
    }
#endif
    return fallback;
}

} // namespace knot::cli
