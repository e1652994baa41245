// Renders the native main window of one model to a PNG for the README, under Wine on a display:
// a simulated unit plugged in and identified, the model's sample loaded, the window taken from
// the screen with its frame and menu bar.
// Usage: knot-win32-window-shot q|p OUTPUT.png SAMPLE.mot
#include "knot_names.h"

#include "variant_profile.h"
#include "win32_text.h"
#include "window_test_support.h"

#include <gdiplus.h>

#include <cstdio>
#include <string>

namespace {

// The PNG encoder of GDI+.
const CLSID kPngEncoder = {
    0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};

bool SaveWindowImage(HWND window, const std::wstring& path) {
    RECT frame{};
    GetWindowRect(window, &frame);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, frame.left, frame.top, SRCCOPY);
    SelectObject(memory, previous);
    bool saved = false;
    {
        Gdiplus::Bitmap image(bitmap, nullptr);
        saved = image.Save(path.c_str(), &kPngEncoder, nullptr) == Gdiplus::Ok;
    }
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return saved;
}

} // namespace

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
