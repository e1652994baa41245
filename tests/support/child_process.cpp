#include "knot_names.h"

#include "child_process.h"

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

// A descriptor for one stream of the child, opened before it starts (and noted in `opened`, for
// the parent to close after that); -1: the parent's own.
int StreamFd(int fd, const std::string& path, int flags, std::vector<int>& opened) {
    if (fd >= 0 || path.empty()) {
        return fd;
    }
    const int file = ::open(path.c_str(), flags | O_CLOEXEC, 0644);
    if (file >= 0) {
        opened.push_back(file);
    }
    return file;
}

// Starts the program without copying this process first (posix_spawn), so that what the child
// costs is its own: a copy of a large test process would be charged to the child as it execs.
pid_t Spawn(bool searchPath, const int (&streams)[3], char** argv, char** envp) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (int to = 0; to < 3; ++to) {
        if (streams[to] >= 0) {
            posix_spawn_file_actions_adddup2(&actions, streams[to], to);
        }
    }
    // No signal blocked in the child either.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    pid_t pid = -1;
    const int error = searchPath ? ::posix_spawnp(&pid, argv[0], &actions, &attributes, argv, envp)
                                 : ::posix_spawn(&pid, argv[0], &actions, &attributes, argv, envp);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return error == 0 ? pid : -1;
}

// Forks and sets SIGTERM as the child's signal for the parent's death, which only the child
// itself can ask for.
pid_t ForkWithDeathSignal(bool searchPath, const int (&streams)[3], char** argv, char** envp) {
    const pid_t pid = ::fork();
    if (pid != 0) {
        return pid;
    }
    // A child starts with no signal blocked, whatever the parent's threads block (knot-fdt's
    // command line, run in a test's process, takes its stop signals on a thread of its own).
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    // The signal follows the forking thread, so tests fork from their main thread.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    for (int to = 0; to < 3; ++to) {
        if (streams[to] >= 0) {
            ::dup2(streams[to], to);
        }
    }
    if (searchPath) {
        ::execvpe(argv[0], argv, envp);
    } else {
        ::execve(argv[0], argv, envp);
    }
    ::_exit(127);
}

} // namespace

pid_t SpawnChild(const ChildSetup& setup) {
    if (setup.argv.empty()) {
        return -1;
    }
    // Everything the child needs is prepared before it starts.
    std::vector<std::string> words = setup.argv;
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        bool replaced = false;
        for (const std::string& set : setup.env) {
            const std::size_t name = set.find('=') + 1;
            replaced = replaced || std::strncmp(*entry, set.c_str(), name) == 0;
        }
        if (!replaced) {
            environment.emplace_back(*entry);
        }
    }
    environment.insert(environment.end(), setup.env.begin(), setup.env.end());
    std::vector<char*> envp;
    for (std::string& entry : environment) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);
    constexpr int WRITE = O_WRONLY | O_CREAT | O_TRUNC;
    std::vector<int> opened;
    const int in = StreamFd(setup.inFd, setup.in, O_RDONLY, opened);
    const int out = StreamFd(setup.outFd, setup.out, WRITE, opened);
    const int err = setup.errToOut ? out : StreamFd(setup.errFd, setup.err, WRITE, opened);

    const int streams[] = {in, out, err};
    const pid_t pid = setup.dieWithParent
                          ? ForkWithDeathSignal(setup.searchPath, streams, argv.data(), envp.data())
                          : Spawn(setup.searchPath, streams, argv.data(), envp.data());
    for (int file : opened) {
        ::close(file);
    }
    return pid;
}

int WaitChild(pid_t pid, std::chrono::milliseconds deadline, rusage* usage) {
    if (pid <= 0) {
        return -1;
    }
    const auto until = deadline == NO_DEADLINE ? std::chrono::steady_clock::time_point::max()
                                               : std::chrono::steady_clock::now() + deadline;
    rusage ignored{};
    int status = 0;
    pid_t reaped = 0;
    const int flags = deadline == NO_DEADLINE ? 0 : WNOHANG;
    while ((reaped = ::wait4(pid, &status, flags, usage ? usage : &ignored)) == 0) {
        if (std::chrono::steady_clock::now() > until) {
            ::kill(pid, SIGKILL);
            ::wait4(pid, &status, 0, usage ? usage : &ignored);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return reaped == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
