// Helpers of the native window's suites and tools: a window over an in-process loopback port, a
// message pump that waits on a condition with a deadline, an answerer for the modal windows the
// code under test opens, and small S-Record files.
#pragma once

#include "knot_names.h"

#include "flash_transfer_dlg.h"
#include "loopback_driver_port.h"
#include "scratch_folder.h"
#include "transfer_log.h"

#include "windows_headers.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace knot::core {
struct VariantProfile;
}

// Pumps the thread's messages through the dialog manager (as a modal loop does) until `done`
// holds or `timeout` passes; returns whether it held.
bool PumpUntil(const std::function<bool()>& done,
               std::chrono::milliseconds timeout = std::chrono::seconds(30));
// Handles one queued message; false when none was queued.
bool PumpOne();
// Pumps what is queued now, and what that posts in turn, until the queue is empty.
void PumpPending();

// Watches for modal windows of this thread and answers each as it appears, from inside its
// nested loop: message boxes are recorded and closed with OK, the chooser picks `fileToChoose`
// (or is cancelled when that is empty), the About box is recorded and closed with Escape.
class ModalAnswerer {
  public:
    struct Box {
        std::wstring caption;
        std::wstring text;
        bool stopIcon;
    };
    struct Chooser {
        bool hidden[5]; // 1152, 1089, 1090, 1136 and 1148
        SIZE childSize;
    };

    explicit ModalAnswerer(HWND mainWindow);
    ~ModalAnswerer();
    ModalAnswerer(const ModalAnswerer&) = delete;
    ModalAnswerer& operator=(const ModalAnswerer&) = delete;

    std::string fileToChoose;
    // Runs once for each modal window while it is still open, before it is answered.
    std::function<void(HWND)> whileModalOpen;

    std::vector<Box> boxes;
    std::vector<Chooser> choosers;
    std::vector<std::wstring> aboutCaptions;
    std::vector<std::wstring> aboutFirstLines;

    std::vector<std::wstring> BoxTexts() const;

  private:
    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD);
    void Answer(HWND modal);

    HWND m_main;
    UINT_PTR m_timer;
    bool m_answering = false;
};

// A window's text and a control's text.
std::wstring WindowText(HWND window);
std::wstring ItemText(HWND dialog, int id);
// The text of one cell of a list view.
std::wstring ListCell(HWND list, int row, int column);

// A window over an in-process loopback port, its trace in a scratch folder, and the timed wait
// after the commit on a clock that does not sleep (its ticks are counted).
struct WindowRig {
    WindowRig();
    ~WindowRig();

    // Creates and shows the window of `profile`; nullptr when it cannot be created.
    CFlashTransferDlg* Open(const VariantProfile& profile, bool dumpImages = false);
    // A unit that identifies itself; returns its device number.
    std::int32_t PlugUnit();
    HWND Item(int id) const { return GetDlgItem(dlg->GetSafeHwnd(), id); }

    ScratchFolder folder;
    TransferLog log;
    LoopbackDriverPort port;
    int sleeps = 0;
    std::unique_ptr<CFlashTransferDlg> dlg;
};

// Writes an S-Record file for `profile`: `cpuBytes` bytes at CPU address 0 and, when
// `flashBytes` > 0, that many bytes at flash offset `flashOffset`. False when it cannot be
// written.
bool WriteSRecordFile(const std::string& path, const VariantProfile& profile, int cpuBytes,
                      int flashBytes, std::uint32_t flashOffset = 0x40000);
// Writes a file whose only record is malformed.
bool WriteRejectedFile(const std::string& path);
