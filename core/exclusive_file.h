// Opening files without sharing them where the platform knows sharing modes (Windows); elsewhere
// files are opened normally.
#pragma once

#include <cstdio>
#include <string>

namespace knot::core {
// Opens `path` with the fopen `mode` ("rb", "wb"); while it is open no other program may open it,
// where the platform can enforce that. Returns nullptr with errno set on failure.
std::FILE* OpenExclusive(const char* path, const char* mode);

// The system's text for the error number `errorNumber` (as strerror gives it).
std::string SystemErrorText(int errorNumber);

} // namespace knot::core
