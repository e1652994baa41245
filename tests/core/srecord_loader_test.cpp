#include "knot_names.h"

#include "case_printer.h"
#include "firmware_image.h"
#include "load_result_printer.h"
#include "srecord_writer.h"
#include "temp_folder.h"
#include "variant_profile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

namespace {

using knot_test::PrintTo;

std::vector<std::uint8_t> Bytes(std::size_t count, std::uint8_t first = 0x10) {
    std::vector<std::uint8_t> bytes(count);
    for (std::size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<std::uint8_t>(first + i);
    }
    return bytes;
}

// One record with `count` data bytes and a correct checksum, ended by a line feed.
std::string Rec(char type, std::uint32_t address, std::size_t count, std::uint8_t first = 0x10) {
    return FormatSRecord(type, address, Bytes(count, first)) + "\n";
}

// A record with a correct checksum whose last `cut` data bytes are then taken away.
std::string Short(char type, std::uint32_t address, std::size_t count, std::size_t cut) {
    std::string text = FormatSRecord(type, address, Bytes(count));
    return text.erase(text.size() - 2 - 2 * cut, 2 * cut) + "\n";
}

const std::string kHeader = FormatSRecord('0', 0, Bytes(4, 'A')) + "\n";
const std::string kEnd = "S9030000FC\n";

struct RuleCase {
    const char* name;
    char model; // 'q' or 'p'
    std::string file;
    LoadResult::Kind kind;
    std::uint64_t line = 0;
    RejectReason reason = RejectReason::None;
    std::uint32_t flashExtent = 0;
    std::size_t flashBlocks = 0;
};

const VariantProfile& ProfileOf(char model) {
    return model == 'p' ? VariantPProfile() : VariantQProfile();
}

class LoaderRules : public ::testing::TestWithParam<RuleCase> {
  protected:
    TempFolder folder;
    std::unique_ptr<FirmwareImage> image = std::make_unique<FirmwareImage>();
};

TEST_P(LoaderRules, LoadsOrStopsAsTheRulesSay) {
    const RuleCase& c = GetParam();
    std::string path = folder.File("image.mot");
    WriteBytes(path, c.file);
    LoadResult result = image->loadSRecordFile(path, false, ProfileOf(c.model));
    ASSERT_EQ(result.kind, c.kind) << "line " << result.line;
    EXPECT_EQ(image->imageLoaded, c.kind == LoadResult::Loaded);
    if (c.kind == LoadResult::Rejected) {
        EXPECT_EQ(result.line, c.line);
        EXPECT_EQ(result.reason, c.reason);
    } else {
        EXPECT_EQ(image->flashExtent, c.flashExtent);
        EXPECT_EQ(image->FlashBlockCount(), c.flashBlocks);
    }
}

using K = LoadResult::Kind;
using R = RejectReason;
// S1 at 0000 with the 16 bytes 00, 11, ... FF: 42 characters without a line end.
const std::string kRecord16 =
    FormatSRecord('1', 0,
                  std::vector<std::uint8_t>{0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88,
                                            0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF});

std::string LowerCase(std::string text) {
    std::transform(text.begin() + 2, text.end(), text.begin() + 2,
                   [](char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

INSTANTIATE_TEST_SUITE_P(
    BothModels, LoaderRules,
    ::testing::Values(
        // The CPU region: the last loadable byte is 0x3FFFE, and no record spans into flash.
        RuleCase{"Q_CpuEndsAt3FFFE", 'q', Rec('2', 0x03FFEF, 16), K::Loaded},
        RuleCase{"P_CpuEndsAt3FFFE", 'p', Rec('2', 0x03FFEF, 16), K::Loaded},
        RuleCase{"Q_CpuReaches3FFFF", 'q', kHeader + Rec('2', 0x03FFF0, 16), K::Rejected, 2,
                 R::CpuRangeExceeded},
        RuleCase{"P_CpuReaches3FFFF", 'p', Rec('2', 0x03FFF0, 16), K::Rejected, 1,
                 R::CpuRangeExceeded},
        RuleCase{"Q_CpuSpansIntoFlash", 'q', Rec('2', 0x03FFF8, 16), K::Rejected, 1,
                 R::CpuRangeExceeded},
        RuleCase{"P_CpuSpansIntoFlash", 'p', Rec('3', 0x03FFF8, 16), K::Rejected, 1,
                 R::CpuRangeExceeded},

        // The flash region's far end, per model.
        RuleCase{"P_FlashEndsAtLimit", 'p', Rec('3', 0x0087FFE0, 16), K::Loaded, 0, R::None,
                 0x7FFE0, 16384},
        RuleCase{"P_FlashReaches7FFFF", 'p', Rec('3', 0x0087FFF0, 16), K::Rejected, 1,
                 R::FlashOutOfRange},
        RuleCase{"Q_FlashEndsAtLimit", 'q', Rec('2', 0x07FFE0, 16), K::Loaded, 0, R::None, 0x7FFE0,
                 16384},
        RuleCase{"Q_FlashReaches7FFFF", 'q', Rec('2', 0x07FFF0, 16), K::Rejected, 1,
                 R::FlashOutOfRange},
        RuleCase{"Q_FlashBeyondRegion", 'q', Rec('3', 0x00900000, 1), K::Rejected, 1,
                 R::FlashOutOfRange},
        RuleCase{"P_AddressFarAboveFlash", 'p', Rec('3', 0xFFFFFFF0, 4), K::Rejected, 1,
                 R::FlashOutOfRange},

        // The flash base: P refuses what lies between the regions, Q takes it as flash.
        RuleCase{"P_BelowFlashBase", 'p', Rec('2', 0x050000, 16), K::Rejected, 1,
                 R::BelowFlashBase},
        RuleCase{"Q_FlashAt050000", 'q', Rec('2', 0x050000, 16), K::Loaded, 0, R::None, 0x50000,
                 0x2801},
        // A record that straddles P's flash base ends at offset 0, inside the region, so only
        // its start refuses it; in Q the same record runs past the end of flash.
        RuleCase{"P_StraddlesFlashBase", 'p', Rec('3', 0x7FFFF0, 16), K::Rejected, 1,
                 R::BelowFlashBase},
        RuleCase{"Q_StraddlesPFlashBase", 'q', Rec('3', 0x7FFFF0, 16), K::Rejected, 1,
                 R::FlashOutOfRange},
        RuleCase{"P_FlashEndsOnBlockBorder", 'p', Rec('3', 0x800010, 16), K::Loaded, 0, R::None,
                 0x20, 2},

        // Flash data within the first block is still sent; the furthest record decides.
        RuleCase{"P_FlashWithinFirstBlock", 'p', Rec('3', 0x800000, 16), K::Loaded, 0, R::None, 0,
                 1},
        RuleCase{"Q_FlashWithinFirstBlockOfRecord", 'q', Rec('2', 0x040000, 16), K::Loaded, 0,
                 R::None, 0x40000, 0x2001},
        RuleCase{"P_DescendingFlashRecords", 'p',
                 Rec('3', 0x800100, 32) + Rec('3', 0x800040, 32) + Rec('3', 0x800000, 16),
                 K::Loaded, 0, R::None, 0x120, 10},
        RuleCase{"P_RejectedAfterFurtherRecord", 'p',
                 Rec('3', 0x800100, 32) + Rec('3', 0x0087FFF0, 16), K::Rejected, 2,
                 R::FlashOutOfRange},
        RuleCase{"P_NoFlashRecords", 'p', kHeader + Rec('2', 0x001000, 32) + kEnd, K::Loaded, 0,
                 R::None, 0, 0},

        // Records without data still meet the tests, and a flash one still sets the extent.
        RuleCase{"Q_EmptyFlashRecordSetsExtent", 'q', FormatSRecord('2', 0x050000, {}) + "\n",
                 K::Loaded, 0, R::None, 0x50000, 0x2801},
        RuleCase{"P_EmptyFlashRecordAtBase", 'p', FormatSRecord('3', 0x800000, {}) + "\n",
                 K::Loaded, 0, R::None, 0, 0},
        RuleCase{"P_NegativeCountAtFlashBase", 'p', "S30400800000\n", K::Rejected, 1,
                 R::FlashOutOfRange},
        RuleCase{"Q_NegativeCountCpuRecord", 'q', "S1020000\n", K::Loaded},

        // The length test.
        RuleCase{"Q_OneDataByteMissing", 'q', Short('1', 0, 16, 1), K::Rejected, 1,
                 R::LengthMismatch},
        RuleCase{"P_BlankBeforeLineFeed", 'p', kRecord16 + " \n", K::Rejected, 1,
                 R::LengthMismatch},
        RuleCase{"Q_LineFeed", 'q', kRecord16 + "\n", K::Loaded},
        RuleCase{"P_CarriageReturnLineFeed", 'p', kRecord16 + "\r\n", K::Loaded},
        RuleCase{"Q_LastLineWithoutLineFeed", 'q', kHeader + kRecord16, K::Loaded},
        RuleCase{"P_LoneCarriageReturnCounts", 'p', kRecord16 + "\r \n", K::Rejected, 1,
                 R::LengthMismatch},
        RuleCase{"Q_ExtraDataByte", 'q',
                 kRecord16.substr(0, 40) + "00" + kRecord16.substr(40) + "\n", K::Rejected, 1,
                 R::LengthMismatch},

        // One read takes at most 513 characters: byte count 0xFE is the largest that loads.
        RuleCase{"Q_ByteCountFE", 'q', Rec('1', 0x0100, 0xFE - 3), K::Loaded},
        RuleCase{"P_ByteCountFEWithCrLf", 'p', FormatSRecord('3', 0x0100, Bytes(0xFE - 5)) + "\r\n",
                 K::Loaded},
        RuleCase{"Q_ByteCountFF", 'q', kHeader + Rec('1', 0x0100, 0xFF - 3), K::Rejected, 2,
                 R::LengthMismatch},
        RuleCase{"P_ByteCountFF", 'p', Rec('3', 0x0100, 0xFF - 5), K::Rejected, 1,
                 R::LengthMismatch},

        // What is not a data record is skipped; reading goes on after an end record.
        RuleCase{"Q_EmptyFile", 'q', "", K::Loaded},
        RuleCase{"P_HeaderAndEndOnly", 'p', kHeader + kEnd, K::Loaded},
        RuleCase{"Q_RecordsAfterEndRecord", 'q', kEnd + Rec('2', 0x040020, 32), K::Loaded, 0,
                 R::None, 0x40040, 0x2003},
        RuleCase{"P_SecondCharacterDecides", 'p', "X" + Rec('3', 0x800020, 32).substr(1), K::Loaded,
                 0, R::None, 0x40, 3},
        RuleCase{"Q_TextAndBlankLinesSkipped", 'q', "\n\r\nnotes\nS5030001FB\n" + kRecord16,
                 K::Loaded},
        RuleCase{"P_SkippedLinesAreCounted", 'p',
                 kHeader + "\n\n" + std::string(600, '#') + "\nS1G3\n", K::Rejected, 6,
                 R::NotHexadecimal},
        RuleCase{"Q_PiecesOfLongLineJudgedAlone", 'q', std::string(513, '#') + "S1ZZ\n",
                 K::Rejected, 2, R::NotHexadecimal},

        // 0x1A ends the file.
        RuleCase{"Q_CtrlZEndsTheFile", 'q', kRecord16 + "\n\x1AS1ZZ garbage\n", K::Loaded},
        RuleCase{"P_CtrlZWithinRecord", 'p', kHeader + "S113\x1A", K::Rejected, 2,
                 R::NotHexadecimal},

        // Fields that are not hexadecimal; the checksum stays unexamined.
        RuleCase{"Q_ByteCountNotHex", 'q', "S1G30000" + kRecord16.substr(8) + "\n", K::Rejected, 1,
                 R::NotHexadecimal},
        RuleCase{"P_AddressNotHex", 'p', "S11300x0" + kRecord16.substr(8) + "\n", K::Rejected, 1,
                 R::NotHexadecimal},
        RuleCase{"Q_AddressWithBlank", 'q', "S113 000" + kRecord16.substr(8) + "\n", K::Rejected, 1,
                 R::NotHexadecimal},
        RuleCase{"P_DataNotHex", 'p', kRecord16.substr(0, 20) + "g" + kRecord16.substr(21) + "\n",
                 K::Rejected, 1, R::NotHexadecimal},
        RuleCase{"Q_LowerCaseDigits", 'q', LowerCase(kRecord16) + "\n", K::Loaded},
        RuleCase{"P_ChecksumNotHex", 'p', kRecord16.substr(0, 40) + "ZZ\n", K::Loaded},
        RuleCase{"Q_TooShortForAddress", 'q', "S2\n", K::Rejected, 1, R::NotHexadecimal},
        RuleCase{"P_NulInAddress", 'p', std::string("S1130\0", 6) + kRecord16.substr(6) + "\n",
                 K::Rejected, 1, R::NotHexadecimal}),
    [](const auto& info) { return std::string(info.param.name); });

class LoaderTest : public ::testing::Test {
  protected:
    std::string Write(const std::string& bytes) {
        std::string path = folder.File("image" + std::to_string(++m_files) + ".mot");
        WriteBytes(path, bytes);
        return path;
    }
    TempFolder folder;
    std::unique_ptr<FirmwareImage> image = std::make_unique<FirmwareImage>();

  private:
    int m_files = 0;
};

TEST_F(LoaderTest, StoresEachRecordAtItsPlaceAndLaterRecordsWin) {
    // A whole block, then half a block: neither touches a byte beyond its own.
    std::string file = Rec('1', 0x0010, 4, 0xA0) + Rec('2', 0x012345, 3, 0xB0) +
                       Rec('3', 0x800010, 4, 0xC0) + Rec('1', 0x0011, 1, 0xEE) +
                       Rec('2', 0x020000, 32, 0x10) + Rec('3', 0x801000, 16, 0x50);
    ASSERT_EQ(image->loadSRecordFile(Write(file), false, VariantPProfile()), LoadResult::Loaded);

    std::vector<std::uint8_t> cpu(CPU_REGION_SIZE, CPU_FILL);
    std::vector<std::uint8_t> flash(FLASH_REGION_SIZE, FLASH_FILL);
    for (std::uint8_t i = 0; i < 4; ++i) {
        cpu[0x10 + i] = 0xA0 + i;
        flash[0x10 + i] = 0xC0 + i;
    }
    for (std::uint8_t i = 0; i < 32; ++i) {
        cpu[0x020000 + i] = 0x10 + i;
        flash[0x1000 + i] = i < 16 ? 0x50 + i : FLASH_FILL;
    }
    cpu[0x11] = 0xEE;
    for (std::uint8_t i = 0; i < 3; ++i) {
        cpu[0x012345 + i] = 0xB0 + i;
    }
    EXPECT_TRUE(std::equal(cpu.begin(), cpu.end(), image->CpuRegion.begin()));
    EXPECT_TRUE(std::equal(flash.begin(), flash.end(), image->FlashRegion.begin()));
}

// Every byte value, in digits of either case, at every place of a record: whole runs of sixteen
// bytes and the few left after them decode alike.
TEST_F(LoaderTest, DecodesEveryByteValueInEitherCase) {
    for (bool lower : {false, true}) {
        std::string file;
        for (std::uint32_t first = 0; first < 256; first += 37) {
            std::string record = Rec('2', 0x001000 + first, 37, static_cast<std::uint8_t>(first));
            file += lower ? LowerCase(record) : record;
        }
        ASSERT_EQ(image->loadSRecordFile(Write(file), false, VariantQProfile()),
                  LoadResult::Loaded);
        for (std::uint32_t i = 0; i < 7 * 37; ++i) {
            ASSERT_EQ(image->CpuRegion[0x1000 + i], static_cast<std::uint8_t>(i)) << i;
        }
        EXPECT_EQ(image->CpuRegion[0x1000 + 7 * 37], CPU_FILL);
    }
}

// Characters just outside the digit ranges, and bytes that are digits but for their top bit,
// stop the load wherever in the data they stand.
TEST_F(LoaderTest, CharactersNextToTheDigitsAreRefused) {
    const std::string record = Rec('1', 0x0000, 32);
    for (char c : std::string("/:@G`g\xB0\xB9\xC1\xE1 ")) {
        for (std::size_t place : {8u, 9u, 39u, 70u, 71u}) { // first, a low digit, the last two
            std::string bad = record;
            bad[place] = c;
            LoadResult result = image->loadSRecordFile(Write(bad), false, VariantQProfile());
            EXPECT_EQ(result.reason, RejectReason::NotHexadecimal)
                << "character 0x" << std::hex << (c & 0xFF) << " at " << std::dec << place;
        }
    }
}

TEST_F(LoaderTest, QFlashAddressIsItsOffset) {
    ASSERT_EQ(image->loadSRecordFile(Write(Rec('2', 0x050000, 2, 0x5A)), false, VariantQProfile()),
              LoadResult::Loaded);
    EXPECT_EQ(image->FlashRegion[0x50000], 0x5A);
    EXPECT_EQ(image->FlashRegion[0x50001], 0x5B);
    EXPECT_EQ(image->CpuRegion[0x0000], CPU_FILL);
}

TEST_F(LoaderTest, WrongChecksumsLoadAndAreNamedByLine) {
    std::string good = Rec('1', 0x0000, 4);
    std::string bad = good;
    bad[bad.size() - 2] = bad[bad.size() - 2] == '0' ? '1' : '0';
    std::string file = kHeader + bad + good + kRecord16.substr(0, 40) + "zz\n" + bad;
    LoadResult result = image->loadSRecordFile(Write(file), false, VariantQProfile());
    ASSERT_EQ(result, LoadResult::Loaded);
    EXPECT_EQ(result.badChecksumLines, (std::vector<std::uint64_t>{2, 4, 5}));
}

TEST_F(LoaderTest, RefusalKeepsTheChecksumWarningsBeforeIt) {
    std::string bad = Rec('1', 0x0000, 4);
    bad[bad.size() - 2] = bad[bad.size() - 2] == '0' ? '1' : '0';
    LoadResult result = image->loadSRecordFile(Write(bad + "S1ZZ\n"), false, VariantQProfile());
    ASSERT_EQ(result, LoadResult::Rejected);
    EXPECT_EQ(result.badChecksumLines, (std::vector<std::uint64_t>{1}));
}

TEST_F(LoaderTest, GoodChecksumsGiveNoWarning) {
    LoadResult result = image->loadSRecordFile(
        Write(kHeader + Rec('1', 0, 16) + Rec('2', 0x10000, 32) + Rec('3', 0x800100, 8)), false,
        VariantPProfile());
    ASSERT_EQ(result, LoadResult::Loaded);
    EXPECT_TRUE(result.badChecksumLines.empty());
}

TEST_F(LoaderTest, FailedLoadAfterGoodOneDiscardsTheImage) {
    ASSERT_EQ(image->loadSRecordFile(Write(Rec('1', 0x0000, 32) + Rec('3', 0x800100, 32)), false,
                                     VariantPProfile()),
              LoadResult::Loaded);
    LoadResult result = image->loadSRecordFile(Write(Rec('1', 0x0040, 1, 0x77) + "S1ZZ\n"), false,
                                               VariantPProfile());
    EXPECT_EQ(result, LoadResult::Rejected);
    EXPECT_FALSE(image->imageLoaded);
    EXPECT_EQ(image->flashExtent, 0u);
    EXPECT_EQ(image->FlashBlockCount(), 0u);
    EXPECT_EQ(image->CpuRegion[0x0000], CPU_FILL);
    EXPECT_EQ(image->CpuRegion[0x0040], 0x77); // what the new file stored before it stopped
    EXPECT_EQ(image->FlashRegion[0x100], FLASH_FILL);
}

TEST_F(LoaderTest, MissingFileIsAFileErrorNamingIt) {
    ASSERT_EQ(image->loadSRecordFile(Write(Rec('1', 0, 4)), false, VariantQProfile()),
              LoadResult::Loaded);
    std::string path = folder.File("no-such-file.mot");
    LoadResult result = image->loadSRecordFile(path, false, VariantQProfile());
    EXPECT_EQ(result, LoadResult::FileError);
    EXPECT_EQ(result.file, path);
    EXPECT_EQ(result.error, std::strerror(ENOENT));
    EXPECT_FALSE(image->imageLoaded);
    EXPECT_EQ(image->CpuRegion[0], CPU_FILL);
}

TEST_F(LoaderTest, FolderInsteadOfFileIsAFileError) {
    // Opening a folder fails on some systems and reading it fails on others: both are file errors.
    LoadResult result = image->loadSRecordFile(folder.path().string(), false, VariantQProfile());
    EXPECT_EQ(result, LoadResult::FileError);
    EXPECT_EQ(result.file, folder.path().string());
    EXPECT_FALSE(result.error.empty());
    EXPECT_FALSE(image->imageLoaded);
}

} // namespace
