// The whole of a small file the station reads (a manifest, a key, a signature, a connection
// string), with the system's reason when it cannot be read; never more than a limit.
#pragma once

#include <cstddef>
#include <string>

namespace knot::station {
// Reads `path` into `bytes`. False with the system's reason in `why` (or "it is larger than N
// bytes") when the file cannot be read whole; `error`, when given, gets the error number (0 for
// a file too large).
bool ReadFileBytes(const std::string& path, std::size_t limit, std::string& bytes, std::string& why,
                   int* error = nullptr);

// The system's text for the error number `error`, such as "No such file or directory".
std::string ErrorText(int error);

#ifdef _WIN32
// Windows' text for the error `error` (from GetLastError()), without its closing full stop.
std::string SystemErrorText(unsigned long error);
#endif

} // namespace knot::station
