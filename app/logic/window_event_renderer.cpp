// The logic's events as the window shows them.
#include "window_event_renderer.h"

#include "operator_texts.h"

namespace knot::logic {
namespace {

const char* StatusOfStage(Stage stage) {
    switch (stage) {
    case Stage::Prepare:
        return STATUS_PREPARING;
    case Stage::CpuBlocks:
        return STATUS_CPU_PHASE;
    case Stage::FlashBlocks:
        return STATUS_FLASH_PHASE;
    case Stage::Wait:
        return STATUS_WRITING;
    default:
        return nullptr; // the commit shows no text of its own
    }
}

// The bar during the blocks: the CPU steps, then the flash blocks after the first.
int BlocksRange(const BlocksPlanned& planned) {
    return static_cast<int>(planned.cpuBlocks) +
           (planned.flashBlocks > 1 ? static_cast<int>(planned.flashBlocks) - 1 : 0);
}

} // namespace

void WindowEventRenderer::OnLogicEvent(const LogicEvent& event) {
    FlashTransferView& view = m_view;
    std::visit(Overloaded{
                   [&](const StageBegan& began) {
                       if (const char* status = StatusOfStage(began.stage)) {
                           view.SetStatusText(status);
                       }
                       if (began.stage == Stage::Wait) {
                           view.SetProgressRange(static_cast<int>(began.steps) - 1);
                           view.SetProgressPos(0);
                       }
                   },
                   [&](const BlocksPlanned& planned) {
                       m_cpuBlocks = static_cast<int>(planned.cpuBlocks);
                       view.SetProgressRange(BlocksRange(planned));
                       view.SetProgressPos(0);
                   },
                   [&](const BlockStep& step) {
                       const int number = static_cast<int>(step.number);
                       view.SetProgressPos(step.stage == Stage::FlashBlocks ? m_cpuBlocks + number
                                                                            : number);
                   },
                   [&](const WaitTick& tick) { view.SetProgressPos(static_cast<int>(tick.done)); },
                   [&](const CommitSent&) {},
                   [&](const RunEnded& ended) {
                       if (ended.closing) {
                           view.ShowMessage(ended.closing->caption, ended.closing->text,
                                            ended.closing->icon);
                       }
                       view.SetStatusText(STATUS_EMPTY);
                       if (ended.report.succeeded) {
                           view.SetProgressPos(0);
                       }
                   },
                   [&](const StatusCleared&) { view.SetStatusText(STATUS_EMPTY); },
                   [&](const IdentityReset&) {
                       view.ClearIdentityList();
                       for (int row = 0; row < IDENTITY_ROW_COUNT; ++row) {
                           view.SetIdentityText(row, IDENTITY_LABEL_COLUMN,
                                                IDENTITY_ROW_LABELS[row]);
                           view.SetIdentityText(row, IDENTITY_VALUE_COLUMN, IDENTITY_PLACEHOLDER);
                       }
                       view.SetProgressRange(1);
                       view.SetProgressPos(0);
                   },
                   [&](const IdentityRead& read) {
                       for (int row = 0; row < IDENTITY_ROW_COUNT; ++row) {
                           if (read.answered[row]) {
                               view.SetIdentityText(row, IDENTITY_VALUE_COLUMN, read.rows[row]);
                           }
                       }
                   },
                   [&](const UnitArrived&) {},
                   [&](const UnitRemoved&) {},
                   [&](const CommandStates& states) {
                       if (states.start) {
                           view.EnableStart(*states.start);
                       }
                       if (states.open) {
                           view.EnableOpenItem(*states.open);
                       }
                       if (states.initialize) {
                           view.EnableInitializeItem(*states.initialize);
                       }
                   },
                   [&](const OperatorMessage& message) {
                       view.ShowMessage(message.caption, message.text, message.icon);
                   },
               },
               event);
}

} // namespace knot::logic
