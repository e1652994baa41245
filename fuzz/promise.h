// A promise of the tool that a fuzz input broke: the harness prints which one and aborts, so that
// libFuzzer keeps the input.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace knot::fuzz {
inline void Promise(bool kept, const char* promise) {
    if (!kept) {
        std::fprintf(stderr, "broken promise: %s\n", promise);
        std::abort();
    }
}

} // namespace knot::fuzz
