// What knot-fdt asks of the machine it runs on, kept apart from the code that includes the
// unit's driver interface (the system headers of Windows rename some of its names).
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

// This machine's name, or "" when it cannot be read.
std::string HostName();
// The current time in UTC as "YYYY-MM-DDTHH:MM:SSZ".
std::string UtcTimestamp();
// Whether `out` writes to a terminal (a live display may redraw its lines).
bool IsTerminal(std::FILE* out);
// The width of the terminal `out` writes to, or `fallback` when it is no terminal.
std::size_t TerminalColumns(std::FILE* out, std::size_t fallback);
