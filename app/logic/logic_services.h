// The logic's reach to time and threads, injectable so that tests run the timed wait on a fake
// clock and can refuse to start a worker. The defaults use the real clock and std::thread.
#pragma once

#include "platform_beep.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string_view>
#include <thread>

namespace knot::logic {
using namespace knot::device;

// Sleeps on the calling thread (the commit wait's 10 ms ticks).
using SleepFunction = std::function<void(std::chrono::milliseconds)>;

// Starts a worker thread; an empty result means the thread could not be created. A starter may
// run the body elsewhere and hand back a thread that is not joinable (the fuzz harness runs each
// body as its own steps); its end is then known only from the body's return.
using ThreadStarter = std::function<std::optional<std::thread>(std::function<void()>)>;

// Periods and limits of the session's workers.
struct SessionTiming {
    std::chrono::milliseconds pollInterval{100};     // the arrival poller's pause between counts
    std::chrono::milliseconds presenceInterval{100}; // the watcher's check when no event opens
    std::chrono::milliseconds stopTimeout{1000};     // how long StopWorkers waits for each worker
    // How often interfaces that could not be judged (not opened, no descriptor) are tried again.
    std::chrono::milliseconds retryInterval{1000};
};

// Where the device search's diagnostic prints go.
using DiagnosticSink = std::function<void(std::string_view text)>;

struct LogicServices {
    SleepFunction sleep;        // empty: std::this_thread::sleep_for
    ThreadStarter startThread;  // empty: std::thread, a failure to start gives no thread
    BeepFunction beep;          // empty: the platform's simple beep
    DiagnosticSink diagnostics; // empty: standard output, which a windowed program does not show
    SessionTiming timing;
};

// The defaults filled in where `services` left a function empty.
LogicServices WithDefaults(LogicServices services);

} // namespace knot::logic
