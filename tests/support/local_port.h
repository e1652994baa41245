// A TCP port on 127.0.0.1 that nothing listens on now, for a server a test starts, and a plain
// HTTP GET of a page such a server serves (POSIX, no GoogleTest).
#pragma once

#include "knot_names.h"

#include <chrono>
#include <string>

// A port the system just gave out and took back; -1 when it gave none.
int FreeLocalPort();

// The body of http://127.0.0.1:PORT/PATH, tried until it answers or `deadline` passes; empty
// when it never answered with status 200.
std::string HttpGet(int port, const std::string& path, std::chrono::milliseconds deadline);
