#include "knot_names.h"

#include "firmware_image.h"
#include "load_result_printer.h"
#include "srecord_writer.h"
#include "temp_folder.h"
#include "variant_profile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Runs each test inside its own temporary folder, where the dumps land.
class DumpTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_previous = fs::current_path();
        fs::current_path(folder.path());
    }
    void TearDown() override { fs::current_path(m_previous); }

    std::string Write(const std::string& bytes) {
        std::string path = folder.File("image.mot");
        WriteBytes(path, bytes);
        return path;
    }
    std::string SampleFile() {
        std::vector<std::uint8_t> data(32, 0x42);
        return FormatSRecord('2', 0x001000, data) + "\r\n" + FormatSRecord('3', 0x800020, data) +
               "\r\n";
    }
    std::string RegionBytes(const auto& region) {
        return std::string(region.begin(), region.end());
    }

    TempFolder folder;
    std::unique_ptr<FirmwareImage> image = std::make_unique<FirmwareImage>();

  private:
    fs::path m_previous;
};

TEST_F(DumpTest, LoadWritesBothRegionsByteForByte) {
    ASSERT_EQ(image->loadSRecordFile(Write(SampleFile()), true, VariantPProfile()),
              LoadResult::Loaded);
    std::string cpu = ReadFile(CPU_DUMP_FILE_NAME);
    std::string flash = ReadFile(FLASH_DUMP_FILE_NAME);
    ASSERT_EQ(cpu.size(), 262144u);
    ASSERT_EQ(flash.size(), 524288u);
    EXPECT_EQ(cpu, RegionBytes(image->CpuRegion));
    EXPECT_EQ(flash, RegionBytes(image->FlashRegion));
    EXPECT_EQ(static_cast<unsigned char>(cpu[0x1000]), 0x42);
    EXPECT_EQ(static_cast<unsigned char>(flash[0x20]), 0x42);
}

TEST_F(DumpTest, FileWithoutDataDumpsTheFills) {
    ASSERT_EQ(
        image->loadSRecordFile(Write("S00600004844521B\nS9030000FC\n"), true, VariantQProfile()),
        LoadResult::Loaded);
    EXPECT_EQ(ReadFile(CPU_DUMP_FILE_NAME), std::string(CPU_REGION_SIZE, '\xFF'));
    EXPECT_EQ(ReadFile(FLASH_DUMP_FILE_NAME), std::string(FLASH_REGION_SIZE, '\0'));
}

TEST_F(DumpTest, NoDumpsUnlessAskedFor) {
    ASSERT_EQ(image->loadSRecordFile(Write(SampleFile()), false, VariantPProfile()),
              LoadResult::Loaded);
    EXPECT_FALSE(fs::exists(CPU_DUMP_FILE_NAME));
    EXPECT_FALSE(fs::exists(FLASH_DUMP_FILE_NAME));
}

TEST_F(DumpTest, RejectedLoadLeavesEarlierDumpsAlone) {
    WriteBytes(CPU_DUMP_FILE_NAME, "old cpu");
    WriteBytes(FLASH_DUMP_FILE_NAME, "old flash");
    ASSERT_EQ(image->loadSRecordFile(Write(SampleFile() + "S1ZZ\n"), true, VariantPProfile()),
              LoadResult::Rejected);
    EXPECT_EQ(ReadFile(CPU_DUMP_FILE_NAME), "old cpu");
    EXPECT_EQ(ReadFile(FLASH_DUMP_FILE_NAME), "old flash");
}

TEST_F(DumpTest, ExistingDumpsAreReplaced) {
    WriteBytes(CPU_DUMP_FILE_NAME, std::string(CPU_REGION_SIZE + 100, 'x'));
    ASSERT_EQ(image->loadSRecordFile(Write(SampleFile()), true, VariantPProfile()),
              LoadResult::Loaded);
    EXPECT_EQ(ReadFile(CPU_DUMP_FILE_NAME), RegionBytes(image->CpuRegion));
}

// A folder standing where a dump must be created makes that dump fail, even for an
// administrator, on every platform.
TEST_F(DumpTest, FailedCpuDumpNamesItAndWritesNoFlashDump) {
    fs::create_directory(CPU_DUMP_FILE_NAME);
    LoadResult result = image->loadSRecordFile(Write(SampleFile()), true, VariantPProfile());
    EXPECT_EQ(result, LoadResult::FileError);
    EXPECT_EQ(result.file, CPU_DUMP_FILE_NAME);
    EXPECT_FALSE(result.error.empty());
    EXPECT_FALSE(image->imageLoaded);
    EXPECT_FALSE(fs::exists(FLASH_DUMP_FILE_NAME));
}

TEST_F(DumpTest, FailedFlashDumpNamesItAndKeepsTheCpuDump) {
    fs::create_directory(FLASH_DUMP_FILE_NAME);
    LoadResult result = image->loadSRecordFile(Write(SampleFile()), true, VariantPProfile());
    EXPECT_EQ(result, LoadResult::FileError);
    EXPECT_EQ(result.file, FLASH_DUMP_FILE_NAME);
    EXPECT_FALSE(image->imageLoaded);
    EXPECT_EQ(ReadFile(CPU_DUMP_FILE_NAME), RegionBytes(image->CpuRegion));
}

#ifndef _WIN32
// A working folder that no longer exists takes no new file, whoever asks.
TEST_F(DumpTest, UnwritableFolderIsAFileErrorNamingTheDump) {
    std::string source = Write(SampleFile());
    fs::path gone = folder.path() / "gone";
    fs::create_directory(gone);
    fs::current_path(gone);
    fs::remove(gone);
    LoadResult result = image->loadSRecordFile(source, true, VariantPProfile());
    EXPECT_EQ(result, LoadResult::FileError);
    EXPECT_EQ(result.file, CPU_DUMP_FILE_NAME);
    EXPECT_FALSE(image->imageLoaded);
}
#endif

} // namespace
