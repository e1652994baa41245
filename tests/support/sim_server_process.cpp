#include "knot_names.h"

#include "sim_server_process.h"

#include "child_process.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <poll.h>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto START_DEADLINE = std::chrono::seconds(10);
constexpr auto COMMAND_DEADLINE = std::chrono::seconds(10);
constexpr auto STOP_DEADLINE = std::chrono::seconds(10);

// Every server still running, for the environment's last sweep.
std::mutex g_liveMutex;
std::set<pid_t> g_live;

int RemainingMs(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

// Reads from `fd` until `done` says enough, the writer closes, or the deadline passes.
// Returns true when the writer closed its end.
template <typename Done>
bool ReadUntil(int fd, std::string& text, Clock::time_point deadline, Done done) {
    char buffer[4096];
    while (!done(text)) {
        pollfd entry{fd, POLLIN, 0};
        const int ready = ::poll(&entry, 1, RemainingMs(deadline));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return true;
        text.append(buffer, static_cast<std::size_t>(got));
    }
    return false;
}

// Waits for `pid` to end: its output pipe closes when it does. Kills it at the deadline.
// Returns its exit status, or -1 when it had to be killed or died of a signal.
int WaitFor(pid_t pid, int output, Clock::time_point deadline) {
    std::string ignored;
    const bool closed =
        ReadUntil(output, ignored, deadline, [](const std::string&) { return false; });
    if (!closed)
        ::kill(pid, SIGKILL);
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid)
        return -1;
    return closed && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void KillAndReap(pid_t pid) {
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
}

// At the program's end, kills any server that a test left running.
struct KillLeftServers {
    ~KillLeftServers() {
        std::lock_guard lock(g_liveMutex);
        for (pid_t pid : g_live)
            KillAndReap(pid);
        g_live.clear();
    }
} g_killLeftServers;

} // namespace

pid_t StartSimProcess(const std::vector<std::string>& args, const std::string& directory,
                      int& output, bool errorsToo) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return -1;
    ChildSetup setup;
    setup.argv = {KNOT_UNIT_SIM_PATH};
    setup.argv.insert(setup.argv.end(), args.begin(), args.end());
    setup.env = {"KNOT_SIM_DIR=" + directory};
    setup.outFd = pipeFds[1];
    // The server's complaints stay out of the test output unless asked for.
    setup.errToOut = errorsToo;
    if (std::getenv("KNOT_SIM_TEST_STDERR") == nullptr && !errorsToo)
        setup.err = "/dev/null";
    // The server must not outlive a test process that dies; SIGTERM lets it remove its sockets.
    setup.dieWithParent = true;
    const pid_t pid = SpawnChild(setup);
    ::close(pipeFds[1]);
    if (pid < 0) {
        ::close(pipeFds[0]);
        return -1;
    }
    output = pipeFds[0];
    return pid;
}

SimServerProcess::SimServerProcess(std::vector<std::string> serveArgs) {
    char root[] = "/tmp/knot-sim-test-XXXXXX";
    if (::mkdtemp(root) == nullptr)
        return;
    m_root = root;
    m_directory = m_root + "/rendezvous";
    std::vector<std::string> args = {"serve"};
    for (std::string& arg : serveArgs) {
        const auto at = arg.find("{root}");
        if (at != std::string::npos)
            arg.replace(at, 6, m_root);
        args.push_back(arg);
    }
    m_pid = StartSimProcess(args, m_directory, m_output);
    if (m_pid < 0)
        return;
    {
        std::lock_guard lock(g_liveMutex);
        g_live.insert(m_pid);
    }
    std::string text;
    ReadUntil(m_output, text, Clock::now() + START_DEADLINE,
              [](const std::string& t) { return t.find('\n') != std::string::npos; });
    m_ready = text.find("serving in") != std::string::npos;
}

SimServerProcess::~SimServerProcess() {
    Stop();
    if (m_output >= 0)
        ::close(m_output);
    if (!m_root.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(m_root, ignored);
    }
}

bool SimServerProcess::Stop() {
    if (m_pid < 0)
        return false;
    ::kill(m_pid, SIGTERM);
    const int status = WaitFor(m_pid, m_output, Clock::now() + STOP_DEADLINE);
    {
        std::lock_guard lock(g_liveMutex);
        g_live.erase(m_pid);
    }
    m_pid = -1;
    return status == 0;
}

CommandResult SimServerProcess::Run(const std::vector<std::string>& args) const {
    return RunSimCommand(args, m_directory);
}

CommandResult RunSimCommand(const std::vector<std::string>& args, const std::string& directory,
                            bool errorsToo) {
    CommandResult result;
    int output = -1;
    const pid_t pid = StartSimProcess(args, directory, output, errorsToo);
    if (pid < 0)
        return result;
    const auto deadline = Clock::now() + COMMAND_DEADLINE;
    ReadUntil(output, result.output, deadline, [](const std::string&) { return false; });
    result.exitCode = WaitFor(pid, output, deadline);
    ::close(output);
    return result;
}

int SimServerProcess::Plug(const std::vector<std::string>& args) const {
    std::vector<std::string> words = {"plug"};
    words.insert(words.end(), args.begin(), args.end());
    const CommandResult result = Run(words);
    if (result.exitCode != 0)
        return -1;
    return std::atoi(result.output.c_str());
}

bool SimServerProcess::Unplug(int number) const {
    return Run({"unplug", std::to_string(number)}).exitCode == 0;
}
