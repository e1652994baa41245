#include "knot_names.h"

#include "case_printer.h"
#include "file_text.h"
#include "firmware_image.h"
#include "run_tool.h"
#include "scratch_folder.h"
#include "sha256.h"
#include "srecord_writer.h"
#include "variant_profile.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <memory>
#include <vector>

namespace {

using knot_test::PrintTo;

namespace fs = std::filesystem;

std::string Rec(char type, std::uint32_t address, std::size_t count, std::uint8_t value = 0x5A) {
    return FormatSRecord(type, address, std::vector<std::uint8_t>(count, value)) + "\r\n";
}

// Runs each test inside its own temporary folder, where knot-fdt writes its dumps.
class InspectTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_previous = fs::current_path();
        fs::current_path(folder.path());
    }
    void TearDown() override { fs::current_path(m_previous); }

    std::string Write(const std::string& name, const std::string& bytes) {
        WriteBytes(folder.File(name), bytes);
        return folder.File(name);
    }

    ScratchFolder folder;

  private:
    fs::path m_previous;
};

struct ExitCase {
    const char* name;
    std::string arguments; // {Q} and {P} stand for a good file of that model, {BAD} for a refused
                           // one, {MISSING} for a file that does not exist
    int exitCode;
};

class InspectExitCodes : public InspectTest, public ::testing::WithParamInterface<ExitCase> {};

TEST_P(InspectExitCodes, ExitsWithTheNamedStatus) {
    std::string arguments = GetParam().arguments;
    auto replace = [&](const std::string& key, const std::string& value) {
        for (auto at = arguments.find(key); at != std::string::npos; at = arguments.find(key)) {
            arguments.replace(at, key.size(), value);
        }
    };
    replace("{Q}", Quote(Write("q.mot", Rec('2', 0x001000, 32) + Rec('2', 0x040000, 32))));
    replace("{P}", Quote(Write("p.mot", Rec('2', 0x001000, 32) + Rec('3', 0x800000, 32))));
    replace("{BAD}", Quote(Write("bad.mot", Rec('2', 0x03FFF0, 16))));
    replace("{MISSING}", Quote(folder.File("missing.mot")));
    ToolRun run = RunTool(arguments);
    EXPECT_EQ(run.exitCode, GetParam().exitCode) << run.out << run.err;
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, InspectExitCodes,
    ::testing::Values(ExitCase{"LoadedQ", "inspect --model q {Q}", 0},
                      ExitCase{"LoadedP", "inspect --model p --json {P}", 0},
                      ExitCase{"QFileAsP", "inspect --model p {Q}", 1},
                      ExitCase{"Rejected", "inspect --model q --json {BAD}", 1},
                      ExitCase{"MissingFile", "inspect --model p {MISSING}", 2},
                      ExitCase{"UnknownModel", "inspect --model x {Q}", 64},
                      ExitCase{"NoModel", "inspect {Q}", 64},
                      ExitCase{"NoFile", "inspect --model q", 64},
                      ExitCase{"UnknownOption", "inspect --model q --fast {Q}", 64},
                      ExitCase{"TwoFiles", "inspect --model q {Q} {P}", 64},
                      ExitCase{"NoCommand", "", 64},
                      ExitCase{"UnknownCommand", "burn --model q {Q}", 64},
                      ExitCase{"Help", "inspect --help", 0}, ExitCase{"ShortVersion", "-V", 0},
                      ExitCase{"StandardInput", "inspect --model p - < {P}", 0},
                      ExitCase{"StandardInputRejected", "inspect --model p - < {Q}", 1}),
    [](const auto& info) { return std::string(info.param.name); });

// The digest is of every byte of the file, also of what the loader never reads: what follows
// a 0x1A byte or a refused record, however long. The files are larger than one read of the
// loader.
struct DigestCase {
    const char* name;
    std::string middle; // between two runs of 1 500 good records
    bool standardInput;
};

class InspectDigest : public InspectTest, public ::testing::WithParamInterface<DigestCase> {};

TEST_P(InspectDigest, IsOfTheWholeFile) {
    std::string bytes;
    for (std::uint32_t at = 0; at < 3000 * 32; at += 32) {
        bytes += (at == 1500 * 32 ? GetParam().middle : "") +
                 Rec('2', at, 32, static_cast<std::uint8_t>(at >> 5));
    }
    const std::string path = Write("image.mot", bytes);
    ToolRun run = RunTool("inspect --model q --json " +
                          (GetParam().standardInput ? "- < " + Quote(path) : Quote(path)));
    Sha256 whole;
    const std::string read = ReadFile(path);
    whole.Update(read.data(), read.size());
    EXPECT_EQ(nlohmann::json::parse(run.out)["sha256"], *whole.HexDigest()) << run.err;
}

INSTANTIATE_TEST_SUITE_P(
    Files, InspectDigest,
    ::testing::Values(DigestCase{"Loaded", "", false}, DigestCase{"Piped", "", true},
                      DigestCase{"AfterAnEndOfFileMark", "\x1A", false},
                      DigestCase{"PipedAfterAMark", "\x1A", true},
                      DigestCase{"AfterARefusedRecord", Rec('2', 0x3FFF0, 32), false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(InspectTest, JsonReportsWhatTheImageWouldSend) {
    std::string file = Rec('1', 0x0000, 32) + Rec('2', 0x001000, 48) + Rec('2', 0x001030, 16) +
                       Rec('3', 0x800100, 32) + Rec('3', 0x800000, 16);
    std::string path = Write("image.mot", file);
    auto image = std::make_unique<FirmwareImage>();
    ASSERT_EQ(image->loadSRecordFile(path, false, VariantPProfile()).kind, LoadResult::Loaded);

    ToolRun run = RunTool("inspect --model p --json " + Quote(path));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    auto json = nlohmann::json::parse(run.out);
    EXPECT_EQ(json["result"], "Loaded");
    EXPECT_EQ(json["flashExtent"], image->flashExtent);
    EXPECT_EQ(json["cpuBlocks"], image->CountCpuBlocksToSend());
    EXPECT_EQ(json["flashBlocks"], image->FlashBlockCount());
    EXPECT_EQ(json["cpuBlocks"], 3);
    EXPECT_EQ(json["flashBlocks"], 10);
    auto ranges = json["ranges"];
    ASSERT_EQ(ranges.size(), 4u);
    EXPECT_EQ(ranges[1]["first"], 0x1000);
    EXPECT_EQ(ranges[1]["last"], 0x103F);
    EXPECT_EQ(ranges[2]["region"], "flash");
    EXPECT_EQ(ranges[2]["first"], 0x800000);
    EXPECT_EQ(ranges[2]["last"], 0x80000F);
}

TEST_F(InspectTest, JsonNamesTheRefusedLineAndReason) {
    std::string path =
        Write("image.mot", "S0030000FC\r\n" + Rec('2', 0x001000, 8) + Rec('2', 0x050000, 8));
    ToolRun run = RunTool("inspect --model p --json " + Quote(path));
    ASSERT_EQ(run.exitCode, 1);
    auto json = nlohmann::json::parse(run.out);
    EXPECT_EQ(json["result"], "Rejected");
    EXPECT_EQ(json["line"], 3);
    EXPECT_NE(json["reason"].get<std::string>().find("below the flash base"), std::string::npos);
    EXPECT_NE(json["message"].get<std::string>().find("image.mot, line 3: the flash record starts "
                                                      "below the flash base address (the "
                                                      "record's address is 0x050000"),
              std::string::npos)
        << json["message"];
    EXPECT_EQ(json["flashBlocks"], 0);
}

TEST_F(InspectTest, JsonNamesTheFileAndTheSystemError) {
    std::string path = folder.File("missing.mot");
    ToolRun run = RunTool("inspect --model q --json " + Quote(path));
    ASSERT_EQ(run.exitCode, 2);
    auto json = nlohmann::json::parse(run.out);
    EXPECT_EQ(json["result"], "FileError");
    EXPECT_EQ(json["file"], path);
    EXPECT_EQ(json["error"], std::strerror(ENOENT));
}

TEST_F(InspectTest, TextReportNamesTheRefusedLine) {
    std::string path = Write("image.mot", Rec('1', 0x0000, 4) + "S1070000NOTHEX00FF\r\n");
    ToolRun run = RunTool("inspect --model q " + Quote(path));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.out.find("Rejected"), std::string::npos);
    EXPECT_NE(run.out.find("line:    2"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("not a hexadecimal digit"), std::string::npos) << run.out;
}

TEST_F(InspectTest, WarnsAboutWrongChecksumsAndStillLoads) {
    std::string bad = Rec('1', 0x0000, 4);
    bad[bad.size() - 3] ^= 1; // the checksum's last digit
    std::string path = Write("image.mot", Rec('1', 0x0010, 4) + bad + Rec('1', 0x0020, 4) + bad);
    ToolRun run = RunTool("inspect --model q " + Quote(path));
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.err.find("wrong checksum"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("lines 2, 4"), std::string::npos) << run.err;
}

TEST_F(InspectTest, DumpsAreByteIdenticalToTheLoadersDumps) {
    std::string path =
        Write("image.mot", Rec('2', 0x001000, 32, 0x11) + Rec('2', 0x03FFE0, 31, 0x22) +
                               Rec('3', 0x0087FFC0, 32, 0x33));
    auto image = std::make_unique<FirmwareImage>();
    ASSERT_EQ(image->loadSRecordFile(path, true, VariantPProfile()).kind, LoadResult::Loaded);
    std::string cpu = ReadFile(CPU_DUMP_FILE_NAME);
    std::string flash = ReadFile(FLASH_DUMP_FILE_NAME);
    fs::remove(CPU_DUMP_FILE_NAME);
    fs::remove(FLASH_DUMP_FILE_NAME);

    ToolRun run = RunTool("inspect --model p --dump " + Quote(path));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(cpu.size(), CPU_REGION_SIZE);
    EXPECT_EQ(ReadFile(CPU_DUMP_FILE_NAME), cpu);
    EXPECT_EQ(ReadFile(FLASH_DUMP_FILE_NAME), flash);
}

// The ranges come from the one read that loaded the image: a dump that replaces the input
// afterwards cannot take them away.
TEST_F(InspectTest, RangesSurviveADumpThatReplacesTheInput) {
    Write(CPU_DUMP_FILE_NAME, Rec('2', 0x001000, 32) + Rec('3', 0x800000, 16));
    ToolRun run = RunTool("inspect --model p --json --dump " + std::string(CPU_DUMP_FILE_NAME));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    auto ranges = nlohmann::json::parse(run.out)["ranges"];
    ASSERT_EQ(ranges.size(), 2u) << run.out;
    EXPECT_EQ(ranges[0]["first"], 0x1000);
    EXPECT_EQ(ranges[0]["last"], 0x101F);
    EXPECT_EQ(ranges[1]["first"], 0x800000);
    EXPECT_EQ(ranges[1]["last"], 0x80000F);
    EXPECT_EQ(ReadFile(CPU_DUMP_FILE_NAME).size(), CPU_REGION_SIZE);
}

TEST_F(InspectTest, NoDumpsWithoutTheSwitchOrAfterARefusal) {
    std::string good = Write("good.mot", Rec('2', 0x001000, 32));
    std::string bad = Write("bad.mot", Rec('2', 0x03FFF0, 16));
    EXPECT_EQ(RunTool("inspect --model q " + Quote(good)).exitCode, 0);
    EXPECT_EQ(RunTool("inspect --model q --dump " + Quote(bad)).exitCode, 1);
    EXPECT_FALSE(fs::exists(CPU_DUMP_FILE_NAME));
    EXPECT_FALSE(fs::exists(FLASH_DUMP_FILE_NAME));
}

TEST_F(InspectTest, FailedDumpIsAFileErrorNamingIt) {
    fs::create_directory(CPU_DUMP_FILE_NAME);
    std::string path = Write("image.mot", Rec('2', 0x001000, 32));
    ToolRun run = RunTool("inspect --model q --json --dump " + Quote(path));
    ASSERT_EQ(run.exitCode, 2);
    EXPECT_EQ(nlohmann::json::parse(run.out)["file"], CPU_DUMP_FILE_NAME);
    EXPECT_FALSE(fs::exists(FLASH_DUMP_FILE_NAME));
}

} // namespace
