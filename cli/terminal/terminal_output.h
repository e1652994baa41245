// Where knot-fdt's standard output and error go: a terminal that takes escape sequences, so that
// live lines may be redrawn in place, or anything else (a file, a pipe, NUL, a console that
// cannot take them), which gets plain lines only. On Windows the console is asked once.
#pragma once

#include <cstddef>
#include <cstdio>

namespace knot::cli {
enum class OutputMode { PlainLines, EscapeSequences };

// What the system answered of one output stream.
struct ConsoleAnswers {
    bool isConsole = false;    // Windows: GetConsoleMode succeeded; elsewhere: isatty
    bool takesEscapes = false; // its mode already has virtual-terminal processing on
    bool turnedOn = false;     // turning virtual-terminal processing on succeeded
};

// Escape sequences only for a console that takes them already or took them when asked.
OutputMode ChooseOutputMode(const ConsoleAnswers& answers);

// Asks the system of standard output and error, turns virtual-terminal processing on where it
// is off (Windows), and has the old modes restored at exit and on Ctrl-C's way out. Once, first.
void PrepareConsole();
// Gives the consoles back the modes PrepareConsole found; safe on any thread, more than once.
void RestoreConsole();

// Whether `out` (standard output or error) may take escape sequences and redrawn lines.
bool IsTerminal(std::FILE* out);

struct TerminalSize {
    std::size_t columns = 0;
    std::size_t rows = 0; // 0: not known
};
// The size of the terminal `out` writes to now, or `fallback` when it cannot be read.
TerminalSize TerminalSizeOf(std::FILE* out, TerminalSize fallback);

} // namespace knot::cli
