#include "exclusive_file.h"

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <share.h>
#endif

namespace knot::core {
std::FILE* OpenExclusive(const char* path, const char* mode) {
#ifdef _WIN32
    return _fsopen(path, mode, _SH_DENYRW);
#else
    return std::fopen(path, mode);
#endif
}

std::string SystemErrorText(int errorNumber) {
    // A failure that left no error number still deserves a text the operator can read.
    return std::strerror(errorNumber != 0 ? errorNumber : EIO);
}

} // namespace knot::core
