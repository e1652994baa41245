#include "remote_program.h"

#include "resource_ids.h"

#include <commctrl.h>

namespace {

// The pause between two looks at the program, spent waiting on its end.
constexpr DWORD kLookPeriodMs = 10;

struct WindowSearch {
    DWORD process;
    HWND found;
};

BOOL CALLBACK FindMainWindow(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<WindowSearch*>(context);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == search->process && IsWindowVisible(window) &&
        GetDlgItem(window, IDC_START) != nullptr) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

} // namespace

RemoteProgram::RemoteProgram(const wchar_t* path) {
    std::wstring commandLine = L"\"" + std::wstring(path) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    if (!CreateProcessW(path, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &m_process)) {
        m_process = PROCESS_INFORMATION{};
    }
}

RemoteProgram::~RemoteProgram() {
    if (!Started()) {
        return;
    }
    if (WaitForSingleObject(m_process.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(m_process.hProcess, 1);
    }
    CloseHandle(m_process.hThread);
    CloseHandle(m_process.hProcess);
}

bool RemoteProgram::WaitUntil(const std::function<bool()>& done,
                              std::chrono::milliseconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (done()) {
            return true;
        }
        if (!Started() || std::chrono::steady_clock::now() >= deadline ||
            WaitForSingleObject(m_process.hProcess, kLookPeriodMs) != WAIT_TIMEOUT) {
            return false;
        }
    }
}

HWND RemoteProgram::WaitForMainWindow(std::chrono::milliseconds timeout) const {
    WindowSearch search{m_process.dwProcessId, nullptr};
    WaitUntil(
        [&] {
            EnumWindows(FindMainWindow, reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        },
        timeout);
    return search.found;
}

// The request and its answer pass through memory of the program's process.
std::wstring RemoteProgram::ListCell(HWND list, int row, int column) const {
    constexpr std::size_t kChars = 128;
    struct Request {
        LVITEMW item;
        wchar_t text[kChars];
    };
    auto* remote = static_cast<Request*>(
        VirtualAllocEx(m_process.hProcess, nullptr, sizeof(Request), MEM_COMMIT, PAGE_READWRITE));
    if (remote == nullptr) {
        return L"(no memory in the program)";
    }
    Request request{};
    request.item.iSubItem = column;
    request.item.pszText = remote->text;
    request.item.cchTextMax = kChars;
    WriteProcessMemory(m_process.hProcess, remote, &request, sizeof(request), nullptr);
    SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                 reinterpret_cast<LPARAM>(&remote->item));
    ReadProcessMemory(m_process.hProcess, remote, &request, sizeof(request), nullptr);
    VirtualFreeEx(m_process.hProcess, remote, 0, MEM_RELEASE);
    request.text[kChars - 1] = L'\0';
    return request.text;
}

bool RemoteProgram::WaitForEnd(std::chrono::milliseconds timeout, DWORD& status) const {
    if (!Started() || WaitForSingleObject(m_process.hProcess,
                                          static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0) {
        return false;
    }
    return GetExitCodeProcess(m_process.hProcess, &status) != 0;
}
