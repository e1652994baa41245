// The shared pieces of the unit commands' tests.
#include "unit_commands_rig.h"

#include <csignal>
#include <cstdint>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "srecord_writer.h"

extern char** environ;

namespace knot_cli_test {

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Sample(char model) {
    return std::string(KNOT_SAMPLES_DIR) + "/knot-" + model + "-sample.mot";
}

// Lines of the server's capture in which the unit received a packet with `code` (4 hex digits).
int ReceivedWithCode(const std::string& capture, const char* code) {
    int count = 0;
    std::size_t start = 0;
    while (start < capture.size()) {
        std::size_t end = capture.find('\n', start);
        std::string line = capture.substr(start, end - start);
        std::size_t hex = line.find(" R ");
        if (hex != std::string::npos && line.compare(hex + 3 + 20, 4, code) == 0) {
            ++count;
        }
        start = end == std::string::npos ? capture.size() : end + 1;
    }
    return count;
}

// The packets of the server's capture, by device number, without the number: "R|S HEX".
std::map<int, std::vector<std::string>> PacketsByUnit(const std::string& capture) {
    std::map<int, std::vector<std::string>> packets;
    std::size_t start = 0;
    while (start < capture.size()) {
        std::size_t end = capture.find('\n', start);
        std::string line = capture.substr(start, end - start);
        std::size_t space = line.find(' ');
        if (space != std::string::npos) {
            packets[std::stoi(line.substr(0, space))].push_back(line.substr(space + 1));
        }
        start = end == std::string::npos ? capture.size() : end + 1;
    }
    return packets;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        start = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

// A small model P image: two CPU blocks and five flash blocks. With `badChecksum` the last
// record's checksum is wrong; with `empty` it holds no data record at all.
void WriteSmallImage(const std::string& path, bool badChecksum, bool empty) {
    std::ofstream out(path, std::ios::binary);
    std::vector<std::uint8_t> bytes(16);
    out << FormatSRecord('0', 0, std::vector<std::uint8_t>{'s', 'm', 'a', 'l', 'l'}) << "\n";
    if (!empty) {
        for (std::uint32_t address : {0x0u, 0x20u}) {
            for (std::size_t i = 0; i < bytes.size(); ++i) {
                bytes[i] = static_cast<std::uint8_t>(address + i);
            }
            out << FormatSRecord('1', address, bytes) << "\n";
        }
        for (std::uint32_t address = 0x800000; address < 0x800080; address += 16) {
            for (std::size_t i = 0; i < bytes.size(); ++i) {
                bytes[i] = static_cast<std::uint8_t>(address * 3 + i);
            }
            std::string record = FormatSRecord('3', address, bytes);
            if (badChecksum && address == 0x800070) {
                record.back() = record.back() == '0' ? '1' : '0';
            }
            out << record << "\n";
        }
    }
    out << "S9030000FC\n";
}

// Starts knot-fdt with `args`, its output into NAME-out.txt and NAME-err.txt in the current
// folder; with `closedOut` its standard output is a pipe whose reader has gone.
pid_t StartTool(const std::vector<std::string>& args, const std::string& name, bool closedOut) {
    std::vector<std::string> words = {KNOT_FDT_PATH};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    int ends[2] = {-1, -1};
    if (closedOut && ::pipe2(ends, O_CLOEXEC) == 0) {
        posix_spawn_file_actions_adddup2(&actions, ends[1], 1);
    } else {
        posix_spawn_file_actions_addopen(&actions, 1, (name + "-out.txt").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    posix_spawn_file_actions_addopen(&actions, 2, (name + "-err.txt").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    for (int end : ends) {
        if (end >= 0) {
            ::close(end);
        }
    }
    return pid;
}

// Waits for `pid` up to `deadline`; its exit status, or -1 (and then it is killed).
int WaitForExit(pid_t pid, std::chrono::seconds deadline) {
    auto until = Clock::now() + deadline;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (Clock::now() > until) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int Count(const std::string& text, const std::string& part) {
    int count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::seconds deadline) {
    auto until = Clock::now() + deadline;
    while (!condition()) {
        if (Clock::now() > until) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// Whether `pid` took every stop signal sent to it (none waits in its pending set).
bool SignalsTaken(pid_t pid) {
    std::istringstream status(Slurp("/proc/" + std::to_string(pid) + "/status"));
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("ShdPnd:", 0) == 0 && line.find_first_not_of("0\t", 7) != line.npos) {
            return false;
        }
    }
    return true;
}

} // namespace knot_cli_test
