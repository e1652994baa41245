#include "knot_names.h"

#include "unit_sim_control.h"

namespace {

constexpr DWORD PROCESS_DEADLINE_MS = 30000;

// Starts knot-unit-sim.exe with `args`; its standard output comes through `out`.
HANDLE StartSim(const std::string& args, HANDLE& out) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE write = nullptr;
    if (!CreatePipe(&out, &write, &inherit, 0))
        return nullptr;
    SetHandleInformation(out, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = write;
    startup.hStdError = write;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    // The build's Unix path, which the Windows side reaches through drive Z:.
    std::string command = "\"Z:" KNOT_UNIT_SIM_PATH "\" " + args;
    PROCESS_INFORMATION process{};
    const BOOL made = CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                     nullptr, &startup, &process);
    CloseHandle(write);
    if (!made) {
        CloseHandle(out);
        out = nullptr;
        return nullptr;
    }
    CloseHandle(process.hThread);
    return process.hProcess;
}

// Reads `pipe` until a line feed or its end.
std::string ReadLine(HANDLE pipe) {
    std::string text;
    char c = 0;
    DWORD got = 0;
    while (ReadFile(pipe, &c, 1, &got, nullptr) && got == 1) {
        text += c;
        if (c == '\n')
            break;
    }
    return text;
}

} // namespace

ProcessResult RunSim(const std::string& args) {
    ProcessResult result;
    HANDLE out = nullptr;
    HANDLE process = StartSim(args, out);
    if (!process)
        return result;
    for (std::string line; !(line = ReadLine(out)).empty();)
        result.out += line;
    if (WaitForSingleObject(process, PROCESS_DEADLINE_MS) == WAIT_OBJECT_0)
        GetExitCodeProcess(process, &result.exitCode);
    CloseHandle(process);
    CloseHandle(out);
    return result;
}

std::int32_t Plug(const std::string& options) {
    ProcessResult run = RunSim("plug " + options);
    return run.exitCode == 0 ? std::stoi(run.out) : -2;
}

bool Unplug(std::int32_t number) {
    return RunSim("unplug " + std::to_string(number)).exitCode == 0;
}

bool UnitSimServer::Start(std::string& said, const std::string& options) {
    m_process = StartSim(options.empty() ? "serve" : "serve " + options, m_out);
    if (!m_process)
        return false;
    said = ReadLine(m_out);
    return said.find("serving") != std::string::npos;
}

bool UnitSimServer::Stop() {
    if (!m_process)
        return true;
    const bool stopped = RunSim("stop").exitCode == 0;
    const bool ended = WaitForSingleObject(m_process, PROCESS_DEADLINE_MS) == WAIT_OBJECT_0;
    CloseHandle(m_process);
    CloseHandle(m_out);
    m_process = nullptr;
    m_out = nullptr;
    return stopped && ended;
}
