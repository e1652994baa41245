#include "knot_names.h"

#include "remote_program.h"

#include <commctrl.h>

#include <cstdint>
#include <string>
#include <type_traits>

namespace {

// The pause between two looks at the program, spent waiting on its end.
constexpr DWORD kLookPeriodMs = 10;

struct WindowSearch {
    DWORD process;
    int controlId;
    HWND found;
};

BOOL CALLBACK FindMainWindow(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<WindowSearch*>(context);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == search->process && IsWindowVisible(window) &&
        GetDlgItem(window, search->controlId) != nullptr) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

} // namespace

RemoteProgram::RemoteProgram(const wchar_t* path, const std::wstring& arguments) {
    std::wstring commandLine = L"\"" + std::wstring(path) + L"\"";
    if (!arguments.empty()) {
        commandLine += L" " + arguments;
    }
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

HWND RemoteProgram::WaitForMainWindow(std::chrono::milliseconds timeout, int controlId) const {
    WindowSearch search{m_process.dwProcessId, controlId, nullptr};
    WaitUntil(
        [&] {
            EnumWindows(FindMainWindow, reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        },
        timeout);
    return search.found;
}

namespace {

// A 32-bit program's list view reads the item in its own layout, with pointers of four bytes; it
// reads no field past the text's size for LVM_GETITEMTEXTW.
struct ListItem32 {
    UINT mask;
    int iItem;
    int iSubItem;
    UINT state;
    UINT stateMask;
    std::uint32_t pszText;
    int cchTextMax;
};

// The request and its answer pass through memory of the program's process.
template <class Item> std::wstring AskListCell(HANDLE process, HWND list, int row, int column) {
    constexpr std::size_t kChars = 128;
    struct Request {
        Item item;
        wchar_t text[kChars];
    };
    auto* remote = static_cast<Request*>(
        VirtualAllocEx(process, nullptr, sizeof(Request), MEM_COMMIT, PAGE_READWRITE));
    if (remote == nullptr) {
        return L"(no memory in the program)";
    }
    Request request{};
    request.item.iSubItem = column;
    if constexpr (std::is_same_v<Item, ListItem32>) {
        request.item.pszText = static_cast<std::uint32_t>(reinterpret_cast<UINT_PTR>(remote->text));
    } else {
        request.item.pszText = remote->text;
    }
    request.item.cchTextMax = kChars;
    WriteProcessMemory(process, remote, &request, sizeof(request), nullptr);
    SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                 reinterpret_cast<LPARAM>(&remote->item));
    ReadProcessMemory(process, remote, &request, sizeof(request), nullptr);
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    request.text[kChars - 1] = L'\0';
    return request.text;
}

} // namespace

std::wstring RemoteProgram::ListCell(HWND list, int row, int column) const {
    BOOL wow64 = FALSE;
    if (IsWow64Process(m_process.hProcess, &wow64) && wow64) {
        return AskListCell<ListItem32>(m_process.hProcess, list, row, column);
    }
    return AskListCell<LVITEMW>(m_process.hProcess, list, row, column);
}

bool RemoteProgram::WaitForEnd(std::chrono::milliseconds timeout, DWORD& status) const {
    if (!Started() || WaitForSingleObject(m_process.hProcess,
                                          static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0) {
        return false;
    }
    return GetExitCodeProcess(m_process.hProcess, &status) != 0;
}
