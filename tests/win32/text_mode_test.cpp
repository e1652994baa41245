// Our text-mode rules, applied over binary streams, against the platform's own text-mode
// streams: on Windows both must give the same bytes and the same reads.
#include "knot_names.h"

#include "file_text.h"
#include "scratch_folder.h"
#include "text_stream.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

// One file in a scratch folder, read and written whole as bytes.
class ScratchFile {
  public:
    explicit ScratchFile(const char* name) : m_path(m_folder.File(name)) {}

    const std::string& path() const { return m_path; }

    std::string Bytes() const { return ReadFile(m_path); }
    void SetBytes(const std::string& bytes) const {
        std::ofstream(m_path, std::ios::binary) << bytes;
    }

  private:
    ScratchFolder m_folder;
    std::string m_path;
};

// What the platform's text-mode stream makes of `text`, and what ours makes of it.
std::string PlatformWrite(const ScratchFile& file, const std::string& text) {
    std::FILE* f = std::fopen(file.path().c_str(), "wt");
    EXPECT_NE(f, nullptr);
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
    return file.Bytes();
}

std::string OurWrite(const ScratchFile& file, const std::string& text) {
    std::FILE* f = std::fopen(file.path().c_str(), "wb");
    EXPECT_NE(f, nullptr);
    EXPECT_TRUE(WriteTextMode(f, text));
    std::fclose(f);
    return file.Bytes();
}

std::vector<std::string> PlatformReads(const ScratchFile& file, int maxChars) {
    std::vector<std::string> reads;
    std::FILE* f = std::fopen(file.path().c_str(), "rt");
    EXPECT_NE(f, nullptr);
    std::vector<char> buffer(static_cast<std::size_t>(maxChars) + 1);
    while (std::fgets(buffer.data(), maxChars + 1, f)) {
        reads.emplace_back(buffer.data());
    }
    std::fclose(f);
    return reads;
}

std::vector<std::string> OurReads(const ScratchFile& file, int maxChars) {
    std::vector<std::string> reads;
    std::FILE* f = std::fopen(file.path().c_str(), "rb");
    EXPECT_NE(f, nullptr);
    TextLineReader reader(f);
    std::vector<char> buffer(static_cast<std::size_t>(maxChars));
    while (std::size_t n = reader.ReadLine(buffer.data(), buffer.size())) {
        reads.emplace_back(buffer.data(), n);
    }
    std::fclose(f);
    return reads;
}

struct TextCase {
    const char* name;
    std::string bytes;
};

const std::vector<TextCase> TEXT_CASES = {
    {"Empty", ""},
    {"OneLine", "      7C,1165467890,     BinSendToDevice,[\x01]<1>\n"},
    {"NoFinalLineFeed", "ab\ncd"},
    {"EmptyLines", "\n\n\n"},
    {"CrLf", "ab\r\ncd\r\n"},
    {"LoneCr", "a\rb\n\r"},
    {"CrCrLf", "a\r\r\n"},
    {"CtrlZ", "ab\ncd\x1A\nef\n"},
    {"CtrlZFirst", "\x1A"
                   "ab\n"},
    {"Line1022", std::string(1022, 'x') + "\n" + "y\n"},
    {"Line1023", std::string(1023, 'x') + "\n" + "y\n"},
    {"Line1023CrLf", std::string(1023, 'x') + "\r\n" + "y\r\n"},
    {"CrLfAcrossTheLimit", std::string(1023, 'x') + "\r\nz"},
    {"Line2500", std::string(2500, 'x') + "\n"},
};

class TextModeTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(TextModeTest, WritesAsThePlatformTextStream) {
    // Files we write hold no 0x1A; the platform's writer would pass it through, as ours does.
    ScratchFile file("knot_text_mode_write.txt");
    const std::string& text = GetParam().bytes;
    EXPECT_EQ(OurWrite(file, text), PlatformWrite(file, text));
}

TEST_P(TextModeTest, ReadsAsThePlatformTextStream) {
    ScratchFile file("knot_text_mode_read.txt");
    file.SetBytes(GetParam().bytes);
    // 1023 characters per read is what the transfer log counts with; 3 splits every line.
    for (int maxChars : {1023, 3}) {
        EXPECT_EQ(OurReads(file, maxChars), PlatformReads(file, maxChars))
            << "reads of at most " << maxChars;
    }
}

INSTANTIATE_TEST_SUITE_P(Bytes, TextModeTest, ::testing::ValuesIn(TEXT_CASES),
                         [](const auto& info) { return info.param.name; });

TEST(TextModeTest, PlatformTextStreamWritesCrLf) {
    ScratchFile file("knot_text_mode_crlf.txt");
    EXPECT_EQ(PlatformWrite(file, "a\nb\n"), "a\r\nb\r\n");
}

} // namespace
