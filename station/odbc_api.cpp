#include "odbc_api.h"

#ifndef _WIN32
#include <dlfcn.h>
#endif

namespace knot::station {
namespace {

struct Loaded {
    OdbcApi api;
    std::string why; // empty when every function was found
};

Loaded Load() {
    Loaded loaded;
#ifdef _WIN32
#define KNOT_ODBC_LINKED(name) loaded.api.name = &::name;
    KNOT_ODBC_FUNCTIONS(KNOT_ODBC_LINKED)
#undef KNOT_ODBC_LINKED
#else
    constexpr const char* LIBRARY = "libodbc.so.2";
    // Global, as a linked library's symbols are: a driver the manager loads may look for them.
    void* library = dlopen(LIBRARY, RTLD_NOW | RTLD_GLOBAL);
    if (library == nullptr) {
        const char* error = dlerror();
        loaded.why = std::string("unixODBC's driver manager (") + LIBRARY +
                     ") could not be loaded: " + (error != nullptr ? error : "no reason given");
        return loaded;
    }
#define KNOT_ODBC_FOUND(name)                                                                      \
    loaded.api.name = reinterpret_cast<decltype(loaded.api.name)>(dlsym(library, #name));          \
    if (loaded.api.name == nullptr && loaded.why.empty()) {                                        \
        loaded.why = std::string(LIBRARY) + " has no " #name;                                      \
    }
    KNOT_ODBC_FUNCTIONS(KNOT_ODBC_FOUND)
#undef KNOT_ODBC_FOUND
#endif
    return loaded;
}

} // namespace

const OdbcApi* LoadOdbc(std::string& why) {
    static const Loaded loaded = Load();
    if (!loaded.why.empty()) {
        why = loaded.why;
        return nullptr;
    }
    return &loaded.api;
}

} // namespace knot::station
