// The view of knot-fdt: it keeps what the logic shows (status, progress, identity rows, message
// boxes) for the command to print, and holds the posted step messages in the tool's own queue.
#pragma once

#include "flash_transfer_view.h"

#include <array>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct QueuedMessage {
    WindowMessage message;
    std::uintptr_t wParam;
};

// The identity rows' values, in row order.
using IdentityValues = std::array<std::string, IDENTITY_ROW_COUNT>;

struct ConsoleMessage {
    std::string text;
    MessageIcon icon;
};

class ConsoleView : public FlashTransferView {
  public:
    // Called for each message box (to print it), and on each window refresh (to redraw).
    std::function<void(const ConsoleMessage&)> onMessage;
    std::function<void()> onRefresh;

    std::string status;
    int rangeMax = 0;
    int position = 0;
    IdentityValues values;
    std::vector<ConsoleMessage> messages;

    void SetStatusText(std::string_view text) override { status = text; }
    void SetProgressRange(int maximum) override { rangeMax = maximum; }
    void SetProgressPos(int pos) override { position = pos; }
    void EnableStart(bool) override {}
    void EnableOpenItem(bool) override {}
    void EnableInitializeItem(bool) override {}
    void ClearIdentityList() override { values = {}; }
    void SetIdentityText(int row, int column, std::string_view text) override;
    void ShowMessage(std::string_view caption, std::string_view text, MessageIcon icon) override;
    void BeginWaitCursor() override {}
    void EndWaitCursor() override {}
    void RefreshWindow() override;
    void PostWindowMessage(WindowMessage message, std::uintptr_t wParam) override;

    // The oldest queued message, waiting up to `timeout` for one.
    std::optional<QueuedMessage> Next(std::chrono::milliseconds timeout);
    bool HasQueued();

  private:
    std::mutex m_mutex;
    std::condition_variable m_posted;
    std::deque<QueuedMessage> m_queue;
};
