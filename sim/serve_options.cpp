#include "serve_options.h"

#include <charconv>
#include <climits>

namespace knot::sim {
bool ParseNumber(const std::string& text, std::uint64_t limit, std::uint64_t& value) {
    if (text.empty() || text.front() < '0' || text.front() > '9')
        return false;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc{} && end == text.data() + text.size() && value <= limit;
}

bool ParseServeOptions(const std::vector<std::string>& args, ServeOptions& options,
                       std::string& error) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& option = args[i];
        if (option != "--capture" && option != "--save-memory" && option != "--latency-us") {
            error = "unknown option \"" + option + "\"";
            return false;
        }
        if (i + 1 >= args.size() || args[i + 1].empty()) {
            error = option + " needs a value";
            return false;
        }
        const std::string& value = args[++i];
        std::uint64_t number = 0;
        if (option == "--capture") {
            options.captureFile = value;
        } else if (option == "--save-memory") {
            options.saveMemoryDir = value;
        } else if (!ParseNumber(value, UINT32_MAX, number)) {
            error = "--latency-us takes a number of microseconds, not \"" + value + "\"";
            return false;
        } else {
            options.latencyUs = static_cast<std::uint32_t>(number);
        }
    }
    return true;
}

} // namespace knot::sim
