// A FlashTransferView that records what the logic shows and keeps the posted messages in a queue,
// so that a test can run the window's message loop by hand (Pump) and look at every change.
#pragma once

#include "knot_names.h"

#include "flash_transfer_controller.h"
#include "flash_transfer_view.h"
#include "posted_message_queue.h"
#include "window_event_renderer.h"

#include <array>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

struct ShownMessage {
    std::string caption;
    std::string text;
    MessageIcon icon;
};

class RecordingView : public FlashTransferView {
  public:
    // The window's state as the logic left it.
    std::string status;
    int rangeMax = -1;
    int position = -1;
    bool startEnabled = false;
    bool openEnabled = true;
    bool initializeEnabled = false;
    std::vector<std::array<std::string, 2>> rows;
    int refreshes = 0;
    int waitCursorDepth = 0;

    // Histories.
    std::vector<std::string> statusHistory;
    std::vector<std::string> events; // every call except positions and refreshes, in order
    std::vector<int> positions;
    std::vector<ShownMessage> messages;
    // Runs inside a message box, as the box's nested loop would (may pump messages).
    std::function<void(const ShownMessage&)> inMessageBox;

    void SetStatusText(std::string_view text) override {
        status = text;
        statusHistory.emplace_back(text);
        events.push_back("status:" + status);
    }
    void SetProgressRange(int maximum) override {
        rangeMax = maximum;
        events.push_back("range:" + std::to_string(maximum));
    }
    void SetProgressPos(int pos) override {
        position = pos;
        positions.push_back(pos);
    }
    void EnableStart(bool enable) override {
        startEnabled = enable;
        events.push_back(std::string("start:") + (enable ? "on" : "off"));
    }
    void EnableOpenItem(bool enable) override {
        openEnabled = enable;
        events.push_back(std::string("open:") + (enable ? "on" : "off"));
    }
    void EnableInitializeItem(bool enable) override {
        initializeEnabled = enable;
        events.push_back(std::string("initialize:") + (enable ? "on" : "off"));
    }
    void ClearIdentityList() override {
        rows.clear();
        events.push_back("clear");
    }
    void SetIdentityText(int row, int column, std::string_view text) override {
        if (static_cast<int>(rows.size()) <= row) {
            rows.resize(row + 1);
        }
        rows[row][column] = text;
    }
    void ShowMessage(std::string_view caption, std::string_view text, MessageIcon icon) override {
        ShownMessage shown{std::string(caption), std::string(text), icon};
        messages.push_back(shown);
        events.push_back("box:" + shown.text);
        if (inMessageBox) {
            inMessageBox(shown);
        }
    }
    void BeginWaitCursor() override { ++waitCursorDepth; }
    void EndWaitCursor() override { --waitCursorDepth; }
    void RefreshWindow() override { ++refreshes; }

    // The logic's events shown on this view, for a part of the logic built without a controller.
    WindowEventRenderer shown{*this};

    // The posted messages, in the logic's own queue (afterPost runs on the posting thread).
    PostedMessageQueue queue;
    void PostWindowMessage(WindowMessage message, std::uintptr_t wParam) override {
        queue.Post({message, wParam});
    }
    std::optional<PostedMessage> Take() { return queue.Take(); }
    std::size_t Queued() { return queue.Queued(); }
    int PostedCount(WindowMessage message) { return queue.PostedCount(message); }
    bool WaitForPosted(WindowMessage message, int count,
                       std::chrono::milliseconds deadline = std::chrono::seconds(5)) {
        return queue.WaitForPosted(message, count, deadline);
    }
    // Handles queued messages in order until none is left, as the window's loop does.
    int Pump(FlashTransferController& controller, int limit = 1 << 30) {
        int handled = 0;
        for (; handled < limit; ++handled) {
            std::optional<PostedMessage> next = queue.Take();
            if (!next) {
                break;
            }
            controller.OnWindowMessage(next->message, next->wParam);
        }
        return handled;
    }
};
