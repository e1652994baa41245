// File > Open and Data > Initialize as the controller runs them: messages, icons, the Start rule,
// the dump switch, and the Initialize command of each model.
#include "knot_names.h"

#include "case_printer.h"
#include "controller_rig.h"

#include "command_texts.h"
#include "operator_texts.h"
#include "window_commands.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace {

using knot_test::PrintTo;

std::string WriteFile(const ScratchFolder& folder, const char* name, const char* text) {
    std::string path = folder.File(name);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    std::fputs(text, file);
    std::fclose(file);
    return path;
}

const char* GOOD_FILE = "S00600004844521B\r\nS1130000000102030405060708090A0B0C0D0E0F74\r\n"
                        "S9030000FC\r\n";
const char* BAD_FILE = "S1130000000102030405060708090A0B0C0D0EGG74\r\n";

struct LoadCase {
    const char* name;
    bool unitReady;
    const char* content; // nullptr: the file does not exist
    const char* message; // nullptr: the file-error message
    MessageIcon icon;
    bool startAfter;
};

class LoadTest : public ::testing::TestWithParam<std::tuple<const VariantProfile*, LoadCase>> {};

TEST_P(LoadTest, ShowsTheResultAndAppliesTheStartRule) {
    const auto& [model, c] = GetParam();
    ControllerRig rig(*model);
    if (c.unitReady) {
        rig.OpenWithUnit();
    } else {
        rig.Open();
    }
    // A good image first, so that a failed load visibly takes it away.
    rig.controller->OnFileChosen(WriteFile(rig.folder, "first.mot", GOOD_FILE));
    ASSERT_TRUE(rig.image().imageLoaded);
    EXPECT_EQ(rig.view.startEnabled, c.unitReady);
    rig.view.messages.clear();

    std::string path =
        c.content ? WriteFile(rig.folder, "second.mot", c.content) : rig.folder.File("missing.mot");
    rig.controller->OnFileChosen(path);
    ASSERT_EQ(rig.view.messages.size(), 1u);
    const ShownMessage& shown = rig.view.messages[0];
    if (c.message) {
        EXPECT_EQ(shown.text, c.message);
    } else {
        // What could not be done, to which file, where, and the system's own reason.
        EXPECT_EQ(shown.text, "Could not read the S-Record file missing.mot in " +
                                  rig.folder.path().string() + ": " + std::strerror(ENOENT));
    }
    EXPECT_EQ(shown.icon, c.icon);
    EXPECT_EQ(shown.caption, rig.controller->Caption());
    EXPECT_EQ(rig.view.startEnabled, c.startAfter);
    EXPECT_EQ(rig.image().imageLoaded, c.startAfter || (c.content == GOOD_FILE));
}

const LoadCase loadCases[] = {
    {"LoadedWithUnit", true, GOOD_FILE, LOAD_DONE_TEXT, MessageIcon::Information, true},
    {"LoadedWithoutUnit", false, GOOD_FILE, LOAD_DONE_TEXT, MessageIcon::Information, false},
    {"RejectedWithUnit", true, BAD_FILE, LOAD_REJECTED_TEXT, MessageIcon::Stop, false},
    {"MissingFileWithUnit", true, nullptr, nullptr, MessageIcon::Stop, false},
};

INSTANTIATE_TEST_SUITE_P(BothModels, LoadTest,
                         ::testing::Combine(::testing::ValuesIn(BothModels),
                                            ::testing::ValuesIn(loadCases)),
                         [](const auto& info) {
                             return std::string(
                                        std::get<0>(info.param)->modelName[5] == 'Q' ? "Q" : "P") +
                                    std::get<1>(info.param).name;
                         });

TEST(ControllerCommandsTest, DumpSwitchWritesBothRegionsOnEveryLoad) {
    ControllerRig rig(VariantQProfile());
    rig.Open();
    std::string path = WriteFile(rig.folder, "image.mot", GOOD_FILE);
    auto previous = std::filesystem::current_path();
    std::filesystem::current_path(rig.folder.path());
    rig.controller->SetDumpImages(true);
    rig.controller->OnFileChosen(path);
    std::filesystem::current_path(previous);
    EXPECT_EQ(std::filesystem::file_size(rig.folder.File("CPU_Mem.bin")), CPU_REGION_SIZE);
    EXPECT_EQ(std::filesystem::file_size(rig.folder.File("Flash_Mem.bin")), FLASH_REGION_SIZE);
}

TEST(ControllerCommandsTest, DumpThatCannotBeWrittenSaysWhichFileAndWhere) {
    ControllerRig rig(VariantQProfile());
    rig.Open();
    std::string path = WriteFile(rig.folder, "image.mot", GOOD_FILE);
    auto previous = std::filesystem::current_path();
    std::filesystem::current_path("/proc"); // no file can be created there, whoever runs this
    rig.controller->SetDumpImages(true);
    rig.controller->OnFileChosen(path);
    std::filesystem::current_path(previous);
    ASSERT_EQ(rig.view.messages.size(), 1u);
    const std::string& text = rig.view.messages[0].text;
    EXPECT_EQ(text.rfind("Could not write the dump file CPU_Mem.bin in /proc: ", 0), 0u) << text;
    EXPECT_GT(text.size(), std::strlen("Could not write the dump file CPU_Mem.bin in /proc: "))
        << "the system's reason";
}

struct InitializeCase {
    const char* name;
    bool unitPresent;
    const char* fault;
    bool acknowledged;
    int beeps;
    bool busy = false; // another program holds the unit's lock
};

class InitializeTest : public ::testing::TestWithParam<InitializeCase> {};

TEST_P(InitializeTest, SendsTheCommandAndSaysHowItWent) {
    const InitializeCase& c = GetParam();
    ControllerRig rig(VariantPProfile());
    if (c.unitPresent) {
        UnitConfig config;
        if (*c.fault) {
            config.faults.push_back(*ParseFaultSpec(c.fault));
        }
        rig.OpenWithUnit(config);
    } else {
        rig.Open();
    }
    if (c.busy) {
        ASSERT_EQ(rig.port.LockUnit(rig.controller->Session().DevicePath()).outcome,
                  LockOutcome::Held);
    }
    EXPECT_EQ(rig.controller->OnDataInitialize(), c.acknowledged);
    EXPECT_EQ(rig.view.waitCursorDepth, 0);
    ASSERT_EQ(rig.view.messages.size(), 1u);
    EXPECT_EQ(rig.view.messages[0].text,
              c.acknowledged ? INITIALIZE_DONE_TEXT : INITIALIZE_FAILED_TEXT);
    EXPECT_EQ(rig.view.messages[0].icon,
              c.acknowledged ? MessageIcon::Information : MessageIcon::Stop);
    EXPECT_EQ(rig.beeps, c.beeps);
    // Without a unit the packet still goes to the driver, which refuses the closed handle.
    EXPECT_EQ(rig.faults.SendsOfferedOf(INITIALIZE_COMMAND_CODE), c.busy ? 0 : 1);
}

INSTANTIATE_TEST_SUITE_P(
    ModelP, InitializeTest,
    ::testing::Values(InitializeCase{"Acknowledged", true, "", true, 0},
                      InitializeCase{"Refused", true, "refuse=initialize", false, 0},
                      InitializeCase{"Unanswered", true, "silent=initialize", false, 0},
                      InitializeCase{"NoUnit", false, "", false, 1},
                      InitializeCase{"BusyUnit", true, "", false, 0, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ControllerCommandsTest, ModelQHasNoInitializeCommand) {
    ControllerRig rig(VariantQProfile());
    rig.OpenWithUnit();
    EXPECT_FALSE(rig.controller->CanInitialize());
    EXPECT_FALSE(rig.controller->OnDataInitialize());
    EXPECT_TRUE(rig.view.messages.empty());
    EXPECT_EQ(rig.faults.SendsOfferedOf(INITIALIZE_COMMAND_CODE), 0);
}

// File > Open by its id: the chooser only outside a run, and a load only into an open window.
struct OpenCase {
    const char* name;
    bool running;        // a download runs when the command comes
    bool closeInChooser; // the window closes while the chooser is open
    int choosers;
    bool loaded;
};

class OpenCommandTest : public ::testing::TestWithParam<OpenCase>, private WindowDialogs {
  protected:
    std::optional<std::string> ChooseSRecordFile() override {
        ++choosers;
        if (GetParam().closeInChooser) {
            rig.controller->OnClose();
        }
        return WriteFile(rig.folder, "image.mot", GOOD_FILE);
    }
    void ShowAboutBox() override {}
    void Run(int commandId) { RunWindowCommand(commandId, *rig.controller, *this); }

    ControllerRig rig{VariantQProfile()};
    int choosers = 0;
};

TEST_P(OpenCommandTest, LoadsTheChosenFileOnlyWhenItMay) {
    rig.OpenWithUnit();
    if (GetParam().running) {
        FillImage(rig.image(), {0, 1}, 0);
        Run(IDC_START);
        ASSERT_TRUE(rig.controller->IsDownloadRunning());
    }
    Run(ID_FILE_OPEN);
    EXPECT_EQ(choosers, GetParam().choosers);
    EXPECT_EQ(rig.view.messages.size(), GetParam().loaded ? 1u : 0u); // a load says how it went
}

INSTANTIATE_TEST_SUITE_P(Rules, OpenCommandTest,
                         ::testing::Values(OpenCase{"Loads", false, false, 1, true},
                                           OpenCase{"NotDuringARun", true, false, 0, false},
                                           OpenCase{"NotOnceClosed", false, true, 1, false}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
