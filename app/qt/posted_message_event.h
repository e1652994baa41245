// A window message posted to the main window, as a Qt event of type QEvent::User + (message -
// WM_USER). The step index travels in the event, as wParam does with the platform's posted
// messages.
#pragma once

#include "flash_transfer_view.h"

#include <QEvent>

#include <cstdint>

namespace knot::qt {
using namespace knot::logic;

class PostedMessageEvent : public QEvent {
  public:
    PostedMessageEvent(WindowMessage message, std::uintptr_t wParam)
        : QEvent(EventType(message)), m_message(message), m_wParam(wParam) {}

    WindowMessage message() const { return m_message; }
    std::uintptr_t wParam() const { return m_wParam; }

    static QEvent::Type EventType(WindowMessage message) {
        return static_cast<QEvent::Type>(QEvent::User +
                                         static_cast<int>(message - WINDOW_MESSAGE_BASE));
    }
    static bool IsPostedMessage(QEvent::Type type) {
        constexpr int first = static_cast<int>(WM_DEVICE_ARRIVED - WINDOW_MESSAGE_BASE);
        constexpr int last = static_cast<int>(WM_COMMIT_STEP - WINDOW_MESSAGE_BASE);
        const int offset = static_cast<int>(type) - QEvent::User;
        return offset >= first && offset <= last;
    }

  private:
    WindowMessage m_message;
    std::uintptr_t m_wParam;
};

} // namespace knot::qt
