// The set-up of flash and station, as knot-fdt says it.
#include "flash_setup.h"

#include "json_output.h"

#include <cstdio>

namespace knot::cli {
using namespace knot::station;

ExitCode FlashSetup::Refuse(const char* result, ExitCode code, const std::string& text) {
    if (json) {
        nlohmann::ordered_json out{{"result", result}};
        out.update(m_setup.Common());
        out["message"] = text;
        out["exitCode"] = static_cast<int>(code);
        std::printf("%s\n", DumpLine(out).c_str());
    } else {
        std::fprintf(stderr, "knot-fdt: %s\n", text.c_str());
    }
    return code;
}

ExitCode FlashSetup::Load() {
    const std::optional<SetupRefusal> refused = m_setup.Load(m_options);
    for (const std::string& warning : m_setup.Warnings()) {
        std::fprintf(stderr, "knot-fdt: warning: %s\n", warning.c_str());
    }
    if (refused) {
        return Refuse(refused->result, refused->code, refused->text);
    }
    return ExitCode::Success;
}

void FlashSetup::SayProblem(const std::string& text) {
    std::fprintf(stderr, "knot-fdt: %s\n", text.c_str());
}

} // namespace knot::cli
