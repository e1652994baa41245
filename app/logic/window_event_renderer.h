// The window's observer: turns the logic's events into the widget changes both windows make, in
// the order the window shows them.
#pragma once

#include "flash_transfer_view.h"
#include "logic_events.h"

namespace knot::logic {
class WindowEventRenderer : public LogicObserver {
  public:
    explicit WindowEventRenderer(FlashTransferView& view) : m_view(view) {}
    void OnLogicEvent(const LogicEvent& event) override;

  private:
    FlashTransferView& m_view;
    int m_cpuBlocks = 0; // the CPU steps of the running download
};

} // namespace knot::logic
