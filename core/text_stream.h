// Text-mode file rules applied by our own code over files opened in binary mode, so that
// reading and writing behave the same on every platform.
#pragma once

#include <cstddef>
#include <cstdio>
#include <functional>
#include <string_view>

namespace knot::core {
// The byte that ends a file for a text-mode reader (Ctrl-Z).
inline constexpr char END_OF_FILE_MARK = 0x1A;

// What that byte means to a TextLineReader.
enum class EndOfFileMark : bool {
    EndsTheFile,  // as a text-mode stream reads it: nothing after the first one is seen
    IsACharacter, // an ordinary character, so the lines after it are read as well
};

// Sees every byte a reader takes from its file, in order and as the file holds it (a 0x1A byte
// and what follows it in the same read included): a digest of the file, say. The bytes come in
// slices a little ahead of the lines read, so that a digest and the reading of lines interleave
// on the processor; what is left over reaches the tap when the reader is destroyed.
using ReadTap = std::function<void(const char* bytes, std::size_t size)>;

// Reads lines like fgets on a text-mode stream: a carriage return directly before a line feed
// is dropped, the first 0x1A byte ends the file (unless told otherwise), and one read takes at
// most `maxChars` characters, stopping after a line feed.
class TextLineReader {
  public:
    explicit TextLineReader(std::FILE* file, EndOfFileMark mark = EndOfFileMark::EndsTheFile,
                            ReadTap tap = {})
        : m_file(file), m_mark(mark), m_tap(std::move(tap)) {}
    TextLineReader(const TextLineReader&) = delete;
    TextLineReader& operator=(const TextLineReader&) = delete;
    ~TextLineReader() { TapThrough(m_fetched); }

    // Copies the next read into `out` (not terminated) and returns its length; 0 at the end of
    // the file or on a read error (see failed()).
    std::size_t ReadLine(char* out, std::size_t maxChars);
    // The same read without a copy: a view of the reader's own buffer, valid until the next
    // call; empty at the end of the file or on a read error. `maxChars` + 2 must fit the buffer.
    std::string_view NextRead(std::size_t maxChars);

    bool failed() const { return m_failed; }

  private:
    bool Refill(); // keeps any unread bytes; false when nothing more can be read
    // Hands the tap the bytes up to `pos` at least, in whole slices where the buffer has them.
    void TapThrough(std::size_t pos);

    std::FILE* m_file;
    EndOfFileMark m_mark;
    ReadTap m_tap;
    char m_buffer[64 * 1024];
    std::size_t m_pos = 0;
    std::size_t m_end = 0;     // the end of what may be read: a 0x1A byte stops it short
    std::size_t m_fetched = 0; // the end of what came from the file
    std::size_t m_tapped = 0;  // the end of what the tap has seen
    bool m_eof = false;        // the file is exhausted or a 0x1A byte was met
    bool m_failed = false;
};

// Writes `text` to a binary stream as a text-mode stream would: every line feed becomes a
// carriage return and a line feed. Returns false when the stream refused a byte.
bool WriteTextMode(std::FILE* file, std::string_view text);

} // namespace knot::core
