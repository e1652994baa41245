#include "menu_bar.h"

#include "variant_profile.h"
#include "win32_text.h"

namespace knot::win32 {
using namespace knot::core;

HMENU CreateMenuBar(const VariantProfile& profile) {
    HMENU bar = CreateMenu();
    if (bar == nullptr) {
        return nullptr;
    }
    for (const MenuDefinition& definition : profile.menuBar) {
        HMENU popup = CreatePopupMenu();
        if (popup == nullptr) {
            DestroyMenu(bar);
            return nullptr;
        }
        for (const MenuItem& item : definition.items) {
            AppendMenuW(popup, MF_STRING, item.commandId, WidenText(item.text).c_str());
        }
        AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(popup),
                    WidenText(definition.title).c_str());
    }
    return bar;
}

} // namespace knot::win32
