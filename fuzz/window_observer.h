// How the fuzz harnesses observe the logic: a window that keeps what the logic last showed (status
// line, Start, the menu items, the identity rows, each message box) and the logic's queue of
// posted messages, which the harness pumps one message at a time. Everything the checker reads
// of the logic passes through this one file.
#pragma once

#include "flash_transfer_controller.h"
#include "flash_transfer_view.h"
#include "narration.h"
#include "operator_texts.h"

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace knot::fuzz {
using namespace knot::logic;

class WindowObserver : public FlashTransferView {
  public:
    struct Posted {
        WindowMessage message;
        std::uintptr_t wParam;
    };

    std::string status;
    bool startEnabled = false;
    bool openEnabled = true;
    bool initializeEnabled = false;
    std::array<std::array<std::string, 2>, IDENTITY_ROW_COUNT> rows{};
    int rowCount = 0;
    std::vector<std::string> boxes; // every message box's text, in order
    int waitCursorDepth = 0;
    // Runs while a message box is open, as its nested loop (it may pump messages).
    std::function<void(const std::string& text)> inMessageBox;

    // Runs when the status line says that a download is being prepared: a run has begun.
    std::function<void()> onRunBegun;
    void SetStatusText(std::string_view text) override {
        status = text;
        if (status == STATUS_PREPARING && onRunBegun) {
            onRunBegun();
        }
    }
    void SetProgressRange(int) override {}
    void SetProgressPos(int) override {}
    void EnableStart(bool enable) override { startEnabled = enable; }
    void EnableOpenItem(bool enable) override { openEnabled = enable; }
    void EnableInitializeItem(bool enable) override { initializeEnabled = enable; }
    void ClearIdentityList() override {
        rows = {};
        rowCount = 0;
    }
    void SetIdentityText(int row, int column, std::string_view text) override {
        rows[row][column] = text;
        rowCount = std::max(rowCount, row + 1);
    }
    void ShowMessage(std::string_view, std::string_view text, MessageIcon) override {
        boxes.emplace_back(text);
        Narrate("message box: %s", boxes.back().c_str());
        if (inMessageBox) {
            inMessageBox(boxes.back());
        }
    }
    void BeginWaitCursor() override { ++waitCursorDepth; }
    void EndWaitCursor() override { --waitCursorDepth; }
    void PostWindowMessage(WindowMessage message, std::uintptr_t wParam) override {
        queue.push_back({message, wParam});
    }
    void RefreshWindow() override {}

    // Handles the oldest posted message; false when none is queued.
    bool PumpOne(FlashTransferController& controller) {
        if (queue.empty()) {
            return false;
        }
        Posted next = queue.front();
        queue.pop_front();
        ++handled;
        if (next.message != WM_CPU_BLOCK_STEP || next.wParam % 1024 == 0) {
            Narrate("handle message %u (%lu)", next.message - WINDOW_MESSAGE_BASE,
                    static_cast<unsigned long>(next.wParam));
        }
        controller.OnWindowMessage(next.message, next.wParam);
        return true;
    }

    std::deque<Posted> queue;
    std::uint64_t handled = 0; // messages handled in all
};

} // namespace knot::fuzz
