// With KNOT_FUZZ_NARRATE set in the environment, a replayed input tells its story on standard
// error: each message handled, each worker's turn, each packet and answer, each change of the
// world.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace knot::fuzz {
inline bool Narrating() {
    static const bool narrating = std::getenv("KNOT_FUZZ_NARRATE") != nullptr;
    return narrating;
}

__attribute__((format(printf, 1, 2))) inline void Narrate(const char* format, ...) {
    if (!Narrating()) {
        return;
    }
    std::va_list arguments;
    va_start(arguments, format);
    std::vfprintf(stderr, format, arguments);
    va_end(arguments);
    std::fputc('\n', stderr);
}

} // namespace knot::fuzz
