// Renders the native main window of one model to a PNG for the README, under Wine on a display:
// a simulated unit plugged in and identified, the model's sample loaded, the window taken from
// the screen with its frame and menu bar.
// Usage: knot-win32-window-shot q|p OUTPUT.png SAMPLE.mot
#include "knot_names.h"

#include "variant_profile.h"
#include "win32_text.h"
#include "window_test_support.h"
#include "window_image.h"

#include <gdiplus.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: knot-win32-window-shot q|p OUTPUT.png SAMPLE.mot\n");
        return 2;
    }
    const VariantProfile& profile =
        std::string(argv[1]) == "p" ? VariantPProfile() : VariantQProfile();
    Gdiplus::GdiplusStartupInput startup;
    ULONG_PTR token = 0;
    if (Gdiplus::GdiplusStartup(&token, &startup, nullptr) != Gdiplus::Ok) {
        std::fprintf(stderr, "GDI+ did not start\n");
        return 1;
    }
    int status = 1;
    {
        WindowRig rig;
        rig.PlugUnit();
        CFlashTransferDlg* dlg = rig.Open(profile);
        if (dlg == nullptr) {
            std::fprintf(stderr, "no window (is there a display?)\n");
        } else if (!PumpUntil([&] { return dlg->Controller().DeviceReady(); })) {
            std::fprintf(stderr, "the unit was not found\n");
        } else {
            ModalAnswerer answerer(dlg->GetSafeHwnd());
            dlg->Controller().OnFileChosen(argv[3]);
            SetForegroundWindow(dlg->GetSafeHwnd());
            RedrawWindow(dlg->GetSafeHwnd(), nullptr, nullptr,
                         RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
            PumpPending();
            status = SaveWindowImage(dlg->GetSafeHwnd(), WidenText(argv[2])) ? 0 : 1;
        }
    }
    Gdiplus::GdiplusShutdown(token);
    return status;
}
