// The real clock and threads behind the logic's injectable services.
#include "logic_services.h"

#include <system_error>

namespace knot::logic {
LogicServices WithDefaults(LogicServices services) {
    if (!services.sleep) {
        services.sleep = [](std::chrono::milliseconds duration) {
            std::this_thread::sleep_for(duration);
        };
    }
    if (!services.startThread) {
        services.startThread = [](std::function<void()> body) -> std::optional<std::thread> {
            try {
                return std::thread(std::move(body));
            } catch (const std::system_error&) {
                return std::nullopt; // the system refused a new thread
            }
        };
    }
    return services;
}

} // namespace knot::logic
