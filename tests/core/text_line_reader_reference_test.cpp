// Checks the reader against a plain model of a text-mode stream read with fgets: translate
// CR LF to LF, stop at the first 0x1A, then cut reads after each LF or at the character limit.
#include "knot_names.h"

#include "text_stream.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

std::vector<std::string> ModelReads(const std::string& bytes, std::size_t maxChars) {
    std::string text;
    for (std::size_t i = 0; i < bytes.size() && bytes[i] != '\x1A'; ++i) {
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
            continue;
        }
        text += bytes[i];
    }
    std::vector<std::string> reads;
    std::string current;
    for (char c : text) {
        current += c;
        if (c == '\n' || current.size() == maxChars) {
            reads.push_back(current);
            current.clear();
        }
    }
    if (!current.empty()) {
        reads.push_back(current);
    }
    return reads;
}

std::vector<std::string> ReaderReads(const std::string& bytes, std::size_t maxChars) {
    std::FILE* file = std::tmpfile();
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::rewind(file);
    auto reader = std::make_unique<TextLineReader>(file);
    std::vector<std::string> reads;
    std::vector<char> buffer(maxChars);
    while (std::size_t n = reader->ReadLine(buffer.data(), maxChars)) {
        reads.emplace_back(buffer.data(), n);
    }
    std::fclose(file);
    return reads;
}

class ReaderMatchesModel : public ::testing::TestWithParam<std::size_t> {};

// Long random files of line ends, CRs and text cross the reader's internal refills at every
// kind of character; 0x1A is rare so that most files run long.
TEST_P(ReaderMatchesModel, OnRandomFiles) {
    const std::size_t maxChars = GetParam();
    std::mt19937 random(static_cast<unsigned>(maxChars));
    const char alphabet[] = {'S', '1', 'F', '\r', '\n', '\r', '\n', 'a'};
    for (int round = 0; round < 12; ++round) {
        std::string bytes(std::uniform_int_distribution<std::size_t>(0, 150000)(random), 'x');
        std::size_t lineLength = std::uniform_int_distribution<std::size_t>(1, 700)(random);
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            if (random() % lineLength == 0) {
                bytes[i] = alphabet[random() % sizeof alphabet];
            }
        }
        if (round % 4 == 0 && !bytes.empty()) {
            bytes[random() % bytes.size()] = '\x1A';
        }
        ASSERT_EQ(ReaderReads(bytes, maxChars), ModelReads(bytes, maxChars)) << "round " << round;
    }
}

INSTANTIATE_TEST_SUITE_P(Limits, ReaderMatchesModel, ::testing::Values(1, 2, 80, 513, 70000));

} // namespace
