#include "store/LineReader.h"

#include <algorithm>
#include <cstring>

#include "store/TextScan.h"

namespace text {
namespace {

constexpr size_t kBlock = 1 << 20;

// The line end of the whole file, from a first pass over it.
// A block no larger than the file needs (small files are common).
size_t blockFor(const fileio::InputFile& file) {
    return size_t(std::min<uint64_t>(kBlock, file.size() + 16));
}

std::string_view chooseSeparator(fileio::InputFile& file, bool& failed) {
    std::vector<char> block(blockFor(file));
    bool sawCR = false;
    bool lastWasCR = false;
    for (;;) {
        const ssize_t n = file.read(block.data(), block.size());
        if (n < 0) {
            failed = true;
            break;
        }
        if (n == 0) break;
        const char* p = block.data();
        const char* e = p + n;
        if (lastWasCR && *p == '\n') return "\r\n";
        while (const char* cr = static_cast<const char*>(std::memchr(p, '\r', size_t(e - p)))) {
            sawCR = true;
            if (cr + 1 < e && cr[1] == '\n') return "\r\n";
            p = cr + 1;
        }
        lastWasCR = e[-1] == '\r';
    }
    return sawCR ? "\r" : "\n";
}

}  // namespace

void Utf8Check::feed(const char* data, size_t n) {
    const auto* p = reinterpret_cast<const unsigned char*>(data);
    const auto* e = p + n;
    while (p < e && ok) {
        if (need == 0) {
            // ASCII runs are the common case: eight bytes at a time.
            while (e - p >= 8) {
                uint64_t w;
                std::memcpy(&w, p, 8);
                if (w & 0x8080808080808080ull) break;
                p += 8;
            }
            if (p == e) break;
            const unsigned c = *p++;
            if (c >= 0x80) ok = utf8Lead(c, need, minimum, cp);
            continue;
        }
        const unsigned c = *p++;
        if ((c & 0xC0) != 0x80) {
            ok = false;
            break;
        }
        cp = (cp << 6) | (c & 0x3F);
        if (--need == 0) ok = utf8Allowed(cp, minimum);
    }
}

LineReader::LineReader(fileio::InputFile& file) : file(file) {
    sep = chooseSeparator(file, failed);
    if (!file.rewind()) failed = true;
    buffer.resize(blockFor(file) + kMaxLine + 8);
}

bool LineReader::fill() {
    if (atEnd || failed) return false;
    if (pos > 0) {
        std::memmove(buffer.data(), buffer.data() + pos, end - pos);
        end -= pos;
        pos = 0;
    }
    const ssize_t n = file.read(buffer.data() + end, buffer.size() - end);
    if (n < 0) {
        failed = true;
        return false;
    }
    if (n == 0) {
        atEnd = true;
        return false;
    }
    if (!started) {
        started = true;
        // Skip a byte-order mark, as spreadsheets write one ("CSV UTF-8").
        // A first read shorter than three bytes is a file shorter than that.
        if (n >= 3 && std::memcmp(buffer.data(), "\xEF\xBB\xBF", 3) == 0) pos = 3;
    }
    utf8.feed(buffer.data() + end, size_t(n));
    end += size_t(n);
    return true;
}

bool LineReader::next(std::string_view& line, bool& overlong) {
    overlong = false;
    if (done || failed) return false;
    size_t searchFrom = pos;
    for (;;) {
        const std::string_view held(buffer.data() + pos, end - pos);
        const size_t at = held.find(sep, searchFrom - pos);
        if (at != std::string_view::npos) {
            line = overlong ? std::string_view() : held.substr(0, at);
            pos += at + sep.size();
            return true;
        }
        if (end - pos > kMaxLine) {
            // Too long for any record: drop it, keeping only what could be
            // the start of its line end.
            overlong = true;
            const size_t keep = sep.size() - 1;
            pos = end - keep;
        }
        searchFrom = end > pos + sep.size() ? end - (sep.size() - 1) : pos;
        const size_t before = pos;
        if (!fill()) {
            if (failed) return false;
            // The last piece, also an empty one after a final line end.
            done = true;
            line = overlong ? std::string_view() : std::string_view(buffer.data() + pos, end - pos);
            return true;
        }
        searchFrom = pos + (searchFrom - before);  // fill() moved the held bytes to the front
    }
}

}  // namespace text
