// knot-fdt's view and message queue.
#include "console_view.h"

void ConsoleView::SetIdentityText(int row, int column, std::string_view text) {
    if (column == IDENTITY_VALUE_COLUMN && row >= 0 && row < IDENTITY_ROW_COUNT) {
        values[row] = text;
    }
}

void ConsoleView::ShowMessage(std::string_view, std::string_view text, MessageIcon icon) {
    messages.push_back({std::string(text), icon});
    if (onMessage) {
        onMessage(messages.back());
    }
}

void ConsoleView::RefreshWindow() {
    if (onRefresh) {
        onRefresh();
    }
}

void ConsoleView::PostWindowMessage(WindowMessage message, std::uintptr_t wParam) {
    std::lock_guard lock(m_mutex);
    m_queue.push_back({message, wParam});
    m_posted.notify_one();
}

std::optional<QueuedMessage> ConsoleView::Next(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    if (!m_posted.wait_for(lock, timeout, [this] { return !m_queue.empty(); })) {
        return std::nullopt;
    }
    QueuedMessage next = m_queue.front();
    m_queue.pop_front();
    return next;
}

bool ConsoleView::HasQueued() {
    std::lock_guard lock(m_mutex);
    return !m_queue.empty();
}
