// A real window program started by a test and read from outside, through Win32 calls only: its
// main window found among the desktop's, the cells of its list view read through memory of its
// process, waits on what it shows with a deadline, and its end.
#pragma once

#include "knot_names.h"

#include "resource_ids.h"
#include "windows_headers.h"

#include <chrono>
#include <functional>
#include <string>

class RemoteProgram {
  public:
    // Starts the program at `path` with `arguments` (none by default); Started() tells whether
    // it runs.
    explicit RemoteProgram(const wchar_t* path, const std::wstring& arguments = L"");
    // Whatever failed, the program does not outlive its test: it is ended if still running.
    ~RemoteProgram();
    RemoteProgram(const RemoteProgram&) = delete;
    RemoteProgram& operator=(const RemoteProgram&) = delete;

    bool Started() const { return m_process.hProcess != nullptr; }
    // The program's shown main window (the one with the control `controlId`, by default the
    // Start button), once it appears within `timeout`; nullptr when it does not, or the program
    // ended first.
    HWND WaitForMainWindow(std::chrono::milliseconds timeout, int controlId = IDC_START) const;
    // Checks `done` until it holds, the program ends or `timeout` passes; returns whether it held.
    bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) const;
    // The text of one cell of a list view of the program.
    std::wstring ListCell(HWND list, int row, int column) const;
    // Whether the program ended within `timeout`; its exit status then goes to `status`.
    bool WaitForEnd(std::chrono::milliseconds timeout, DWORD& status) const;

  private:
    PROCESS_INFORMATION m_process{};
};
