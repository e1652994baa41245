// The main window's commands as both windows run them: what each command id does, when File >
// Open is refused, the menu that holds Data > Initialize, and the "/FILE" switch. The window
// only opens the dialogs a command asks for.
#pragma once

#include "window_ids.h"

#include <optional>
#include <span>
#include <string>

namespace knot::logic {
class FlashTransferController;

// The modal windows a command opens, which only the window can show.
class WindowDialogs {
  public:
    virtual ~WindowDialogs() = default;
    // The S-Record chooser: the file chosen, in the machine's encoding, or nothing when the
    // operator cancelled it.
    virtual std::optional<std::string> ChooseSRecordFile() = 0;
    // The model's About box.
    virtual void ShowAboutBox() = 0;
};

// A command of the menu bar, the Start button or the help key, by its id. The help command and
// ids without a command do nothing.
void RunWindowCommand(int commandId, FlashTransferController& controller, WindowDialogs& dialogs);

// The menu of the bar in which Data > Initialize is looked for: the second. A model whose second
// menu is Help has no such item.
inline constexpr int INITIALIZE_MENU_INDEX = 1;

inline constexpr const char* DUMP_SWITCH = "/FILE";

// Whether the command line (the program's name first) turns the memory dumps on: its first
// argument is exactly "/FILE". Later arguments, other spellings and longer words do not count.
bool DumpSwitchGiven(std::span<const std::string> arguments);

} // namespace knot::logic
