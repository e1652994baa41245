// The station window's menus under Wine, in-process over a loopback port with no unit: the image
// chosen with File > Open, the commands each state offers, a model the image does not fit refused
// in a message box with the image and its model kept, and the About box.
#include "knot_names.h"

#include "forwarding_driver_port.h"
#include "station_dlg.h"
#include "station_resource_ids.h"
#include "variant_profile.h"
#include "win32_text.h"
#include "window_test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

bool Offered(HWND window, UINT command) {
    return (GetMenuState(GetMenu(window), command, MF_BYCOMMAND) & (MF_GRAYED | MF_DISABLED)) == 0;
}

bool Checked(HWND window, UINT command) {
    return (GetMenuState(GetMenu(window), command, MF_BYCOMMAND) & MF_CHECKED) != 0;
}

class StationWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* display = std::getenv("DISPLAY");
        if (display == nullptr || *display == '\0') {
            GTEST_SKIP() << "Wine shows windows only with a display (run under Xvfb)";
        }
        // Its flash where the KNOT-Q's is: below the KNOT-P's flash base.
        ASSERT_TRUE(WriteSRecordFile(folder.File("q.mot"), VariantQProfile(), 256, 256));
        ASSERT_NE(dlg.Create(), nullptr);
        PumpPending(); // the start without a command line
        window = dlg.GetSafeHwnd();
    }

    void Command(UINT command) { SendMessageW(window, WM_COMMAND, command, 0); }
    std::string ImageLine() const { return NarrowText(ItemText(window, IDC_STATION_IMAGE)); }

    ScratchFolder folder;
    TransferLog log{std::string(), std::string()};
    LoopbackDriverPort port;
    CStationDlg dlg{[this] { return std::make_unique<ForwardingDriverPort>(port); }, log,
                    std::vector<std::string>{"KNOT-Station"}};
    HWND window = nullptr;
};

struct Step {
    UINT command;
    bool open; // File > Open and the models
    bool start;
    bool stop;
};

TEST_F(StationWindowTest, EachStepOffersOnlyTheCommandsThatApply) {
    ModalAnswerer answerer(window);
    answerer.fileToChoose = folder.File("q.mot");
    EXPECT_TRUE(Offered(window, ID_STATION_OPEN));
    EXPECT_FALSE(Offered(window, ID_STATION_START)) << "nothing to write yet";
    const Step steps[] = {
        {ID_STATION_OPEN, true, true, false},
        {ID_STATION_START, false, false, true},
        {ID_STATION_STOP, true, true, false}, // no unit: the station ends with its next round
    };
    for (const Step& step : steps) {
        Command(step.command);
        const auto offers = [&] {
            return Offered(window, ID_STATION_OPEN) == step.open &&
                   Offered(window, ID_STATION_MODEL_P) == step.open &&
                   Offered(window, ID_STATION_START) == step.start &&
                   Offered(window, ID_STATION_STOP) == step.stop;
        };
        EXPECT_TRUE(PumpUntil(offers)) << "after command " << step.command;
    }
    EXPECT_NE(ImageLine().find("q.mot"), std::string::npos) << ImageLine();
    EXPECT_TRUE(answerer.boxes.empty());
}

TEST_F(StationWindowTest, ModelTheImageDoesNotFitIsRefusedAndTheImageKept) {
    ModalAnswerer answerer(window);
    answerer.fileToChoose = folder.File("q.mot");
    Command(ID_STATION_OPEN);
    ASSERT_NE(ImageLine().find("KNOT-Q"), std::string::npos) << ImageLine();

    Command(ID_STATION_MODEL_P);
    ASSERT_EQ(answerer.boxes.size(), 1u);
    EXPECT_TRUE(answerer.boxes[0].stopIcon);
    EXPECT_NE(NarrowText(answerer.boxes[0].text).find("flash base"), std::string::npos)
        << NarrowText(answerer.boxes[0].text);
    EXPECT_NE(ImageLine().find("KNOT-Q"), std::string::npos) << ImageLine();
    EXPECT_TRUE(Checked(window, ID_STATION_MODEL_Q));
    EXPECT_FALSE(Checked(window, ID_STATION_MODEL_P));
}

TEST_F(StationWindowTest, AboutSaysTheVersion) {
    ModalAnswerer answerer(window);
    std::string version;
    answerer.whileModalOpen = [&](HWND modal) {
        version = NarrowText(ItemText(modal, IDC_STATION_ABOUT_VERSION));
        PostMessageW(modal, WM_COMMAND, IDOK, 0);
    };
    Command(ID_STATION_ABOUT);
    EXPECT_EQ(version.rfind("Version ", 0), 0u) << version;
}

} // namespace
