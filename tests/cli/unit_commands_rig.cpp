// The shared pieces of the unit commands' tests.
#include "knot_names.h"

#include "unit_commands_rig.h"

#include <csignal>
#include <cstdint>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "child_process.h"
#include "forwarding_driver_port.h"
#include "run_command_line.h"
#include "srecord_writer.h"
#include "unit_config.h"

namespace knot_cli_test {

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
    ChildSetup setup;
    setup.argv = {KNOT_FDT_PATH};
    setup.argv.insert(setup.argv.end(), args.begin(), args.end());
    int ends[2] = {-1, -1};
    if (closedOut && ::pipe2(ends, O_CLOEXEC) == 0) {
        setup.outFd = ends[1];
    } else {
        setup.out = name + "-out.txt";
    }
    setup.err = name + "-err.txt";
    const pid_t pid = SpawnChild(setup);
    for (int end : ends) {
        if (end >= 0) {
            ::close(end);
        }
    }
    return pid;
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

namespace {

// The words of `arguments` as a shell splits them ("..." and '...' one word), and the file after
// "<".
std::vector<std::string> SplitWords(const std::string& arguments, std::string& input) {
    std::vector<std::string> words;
    bool redirect = false;
    for (std::size_t at = 0; at < arguments.size();) {
        if (arguments[at] == ' ') {
            ++at;
            continue;
        }
        std::string word;
        char quote = 0;
        while (at < arguments.size() && (quote != 0 || arguments[at] != ' ')) {
            if (quote == 0 && (arguments[at] == '"' || arguments[at] == '\'')) {
                quote = arguments[at];
            } else if (arguments[at] == quote) {
                quote = 0;
            } else {
                word += arguments[at];
            }
            ++at;
        }
        if (word == "<") {
            redirect = true;
        } else if (redirect) {
            input = word;
            redirect = false;
        } else {
            words.push_back(word);
        }
    }
    return words;
}

// Standard input, output and error of this process into files while it lives.
class StreamsInFiles {
  public:
    StreamsInFiles(const std::string& input, const std::string& out, const std::string& err) {
        std::fflush(stdout);
        std::fflush(stderr);
        Redirect(STDIN_FILENO, input.empty() ? "/dev/null" : input.c_str(), O_RDONLY);
        Redirect(STDOUT_FILENO, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC);
        Redirect(STDERR_FILENO, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC);
        std::clearerr(stdin);
    }
    ~StreamsInFiles() {
        std::fflush(stdout);
        std::fflush(stderr);
        for (const auto& [fd, saved] : m_saved) {
            ::dup2(saved, fd);
            ::close(saved);
        }
        std::clearerr(stdin);
    }
    StreamsInFiles(const StreamsInFiles&) = delete;
    StreamsInFiles& operator=(const StreamsInFiles&) = delete;

  private:
    void Redirect(int fd, const char* path, int flags) {
        const int file = ::open(path, flags | O_CLOEXEC, 0644);
        if (file < 0) {
            return;
        }
        m_saved.emplace_back(fd, ::dup(fd));
        ::dup2(file, fd);
        ::close(file);
    }
    std::vector<std::pair<int, int>> m_saved;
};

} // namespace

void UnitCommandsTest::SetUp() {
    m_previous = std::filesystem::current_path();
    std::filesystem::current_path(scratch.path());
    units.SetSaveMemoryDirectory(Root());
}

void UnitCommandsTest::TearDown() {
    std::filesystem::current_path(m_previous);
}

int UnitCommandsTest::Plug(const std::vector<std::string>& args) {
    UnitConfig config;
    std::string error;
    if (!ParsePlugOptions(args, config, error)) {
        ADD_FAILURE() << error;
        return -1;
    }
    return units.Plug(std::move(config));
}

std::string UnitCommandsTest::Capture() const {
    std::string capture;
    for (const std::string& line : units.CaptureLines()) {
        capture += line + "\n";
    }
    return capture;
}

ToolRun UnitCommandsTest::RunTool(const std::string& arguments) {
    std::string input;
    std::vector<std::string> words = SplitWords(arguments, input);
    words.insert(words.begin(), "knot-fdt");
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    DriverPortFactory loopback = [this] { return std::make_unique<ForwardingDriverPort>(units); };
    ToolRun run;
    {
        StreamsInFiles streams(input, "knot-fdt-stdout.txt", "knot-fdt-stderr.txt");
        run.exitCode =
            RunCommandLine(static_cast<int>(words.size()), argv.data(), ports ? ports : loopback);
    }
    run.out = Slurp("knot-fdt-stdout.txt");
    run.err = Slurp("knot-fdt-stderr.txt");
    return run;
}

} // namespace knot_cli_test
