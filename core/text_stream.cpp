#include "text_stream.h"

#include <cstring>

namespace knot::core {
namespace {

// A digest takes whole blocks of 64 bytes fastest.
constexpr std::size_t TAP_SLICE = 64;

} // namespace

void TextLineReader::TapThrough(std::size_t pos) {
    if (!m_tap || pos <= m_tapped) {
        return;
    }
    std::size_t end = m_tapped + (pos - m_tapped + TAP_SLICE - 1) / TAP_SLICE * TAP_SLICE;
    if (end > m_fetched) {
        end = m_fetched;
    }
    m_tap(m_buffer + m_tapped, end - m_tapped);
    m_tapped = end;
}

bool TextLineReader::Refill() {
    if (m_eof) {
        return false;
    }
    TapThrough(m_pos); // the bytes read so far leave the buffer
    std::size_t kept = m_end - m_pos;
    std::memmove(m_buffer, m_buffer + m_pos, kept);
    m_tapped = m_tapped > m_pos ? m_tapped - m_pos : 0;
    m_pos = 0;
    m_end = kept;
    std::size_t got = std::fread(m_buffer + kept, 1, sizeof m_buffer - kept, m_file);
    m_fetched = kept + got;
    if (got == 0) {
        if (std::ferror(m_file)) {
            m_failed = true;
        }
        m_eof = true;
        return false;
    }
    // A 0x1A byte ends the file: nothing after it is ever seen.
    if (void* eofMark = m_mark == EndOfFileMark::EndsTheFile
                            ? std::memchr(m_buffer + kept, END_OF_FILE_MARK, got)
                            : nullptr) {
        got = static_cast<std::size_t>(static_cast<char*>(eofMark) - (m_buffer + kept));
        m_eof = true;
    }
    m_end = kept + got;
    return true;
}

std::size_t TextLineReader::ReadLine(char* out, std::size_t maxChars) {
    if (maxChars + 2 <= sizeof m_buffer) {
        const std::string_view read = NextRead(maxChars);
        std::memcpy(out, read.data(), read.size());
        return read.size();
    }
    std::size_t count = 0;
    while (count < maxChars) {
        if (m_pos == m_end && !Refill()) {
            break;
        }
        // Copy plain characters up to the next line feed or carriage return in one go.
        const char* start = m_buffer + m_pos;
        std::size_t span = m_end - m_pos;
        if (span > maxChars - count) {
            span = maxChars - count;
        }
        const char* lf = static_cast<const char*>(std::memchr(start, '\n', span));
        std::size_t scan = lf ? static_cast<std::size_t>(lf - start) : span;
        const char* cr = static_cast<const char*>(std::memchr(start, '\r', scan));
        if (cr) {
            scan = static_cast<std::size_t>(cr - start);
        }
        std::memcpy(out + count, start, scan);
        count += scan;
        m_pos += scan;
        if (cr) {
            // A carriage return is dropped only when a line feed follows it directly.
            if (m_pos + 1 == m_end) {
                Refill();
            }
            ++m_pos;
            if (m_pos < m_end && m_buffer[m_pos] == '\n') {
                continue; // the line feed is taken on the next turn
            }
            out[count++] = '\r';
            continue;
        }
        if (lf && scan < span) {
            out[count++] = '\n';
            ++m_pos;
            break;
        }
    }
    return count;
}

std::string_view TextLineReader::NextRead(std::size_t maxChars) {
    // Have the whole read in the buffer: up to maxChars + 1 raw characters (a CR LF pair takes
    // two), or what is left of the file.
    while (m_end - m_pos < maxChars + 2 && Refill()) {
    }
    char* start = m_buffer + m_pos;
    const std::size_t avail = m_end - m_pos;
    const std::size_t window = avail < maxChars + 1 ? avail : maxChars + 1;
    // Only a CR directly before the first line feed is dropped; any other CR is a character.
    if (const char* lf = static_cast<const char*>(std::memchr(start, '\n', window))) {
        std::size_t before = static_cast<std::size_t>(lf - start);
        std::size_t kept = before > 0 && lf[-1] == '\r' ? before - 1 : before;
        if (kept + 1 <= maxChars) {
            m_pos += before + 1;
            TapThrough(m_pos);
            start[kept] = '\n'; // over the dropped CR, now that the tap has seen it
            return {start, kept + 1};
        }
    }
    // No line end within reach: the read is cut at maxChars (the characters before a dropped CR
    // are never fewer than that here) or at the end of the file.
    std::size_t count = avail < maxChars ? avail : maxChars;
    m_pos += count;
    TapThrough(m_pos);
    return {start, count};
}

bool WriteTextMode(std::FILE* file, std::string_view text) {
    while (!text.empty()) {
        std::size_t lf = text.find('\n');
        std::string_view piece = text.substr(0, lf);
        if (!piece.empty() && std::fwrite(piece.data(), 1, piece.size(), file) != piece.size()) {
            return false;
        }
        if (lf == std::string_view::npos) {
            break;
        }
        if (std::fwrite("\r\n", 1, 2, file) != 2) {
            return false;
        }
        text.remove_prefix(lf + 1);
    }
    return true;
}

} // namespace knot::core
