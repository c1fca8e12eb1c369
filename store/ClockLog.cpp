#include "store/ClockLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>

#include "protocol/DateTimeBytes.h"
#include "store/SafeAppend.h"
#include "store/TimeText.h"

namespace timebase {
namespace {

constexpr size_t kColumns = 9;
constexpr size_t kMaxLine = 4096;

std::string clean(const std::string& field) {
    std::string s = field;
    for (char& c : s)
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    return s;
}

std::string number(const std::optional<double>& v, const char* format) {
    if (!v || !std::isfinite(*v)) return {};
    char text[64];
    std::snprintf(text, sizeof text, format, *v);
    return text;
}

bool readNumber(std::string_view text, std::optional<double>& into) {
    if (text.empty()) {
        into.reset();
        return true;
    }
    double v = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    if (r.ec != std::errc{} || r.ptr != text.data() + text.size() || !std::isfinite(v))
        return false;
    into = v;
    return true;
}

std::vector<std::string_view> fields(std::string_view text) {
    std::vector<std::string_view> parts;
    while (parts.size() < kColumns) {
        const size_t tab = text.find('\t');
        parts.push_back(text.substr(0, tab));
        if (tab == std::string_view::npos) break;
        text.remove_prefix(tab + 1);
    }
    return parts;
}

int digits(std::string_view t, size_t at, size_t n) {
    int v = 0;
    for (size_t i = at; i < at + n; ++i) {
        if (t[i] < '0' || t[i] > '9') return -1;
        v = v * 10 + (t[i] - '0');
    }
    return v;
}

}  // namespace

std::string clockLogPath(const std::string& saveFolder) {
    return (saveFolder.empty() ? std::string(".") : saveFolder) + "/" + kClockLogName;
}

std::optional<int64_t> parseUtc(std::string_view t) {
    if (t.size() != 24 || t[4] != '-' || t[7] != '-' || t[10] != 'T' || t[13] != ':' ||
        t[16] != ':' || t[19] != '.' || t[23] != 'Z')
        return std::nullopt;
    const int year = digits(t, 0, 4);
    if (year < 2000 || year > 2255) return std::nullopt;
    const int ms = digits(t, 20, 3);
    uint8_t bytes[8] = {uint8_t(year - 2000),      uint8_t(digits(t, 5, 2)),
                        uint8_t(digits(t, 8, 2)),  uint8_t(digits(t, 11, 2)),
                        uint8_t(digits(t, 14, 2)), uint8_t(digits(t, 17, 2)),
                        uint8_t(ms & 0xFF),        uint8_t(ms >> 8)};
    datetime::SensorDateTime v;
    if (ms < 0 || digits(t, 5, 2) < 0 || digits(t, 8, 2) < 0 || digits(t, 11, 2) < 0 ||
        digits(t, 14, 2) < 0 || digits(t, 17, 2) < 0 || !datetime::decodeDateTime(bytes, v))
        return std::nullopt;
    return datetime::msSinceEpoch(v);
}

std::string formatClockLogLine(const ClockLogLine& l) {
    std::string s = timetext::isoUtc(l.utcMs);
    for (const std::string* f : {&l.sensor, &l.address, &l.event}) s += "\t" + clean(*f);
    s += "\t" + number(l.offsetMs, "%.3f");
    s += "\t" + number(l.boundMs, "%.3f");
    s += "\t" + number(l.driftPpm, "%.2f");
    s += "\t" + clean(l.entry);
    s += "\t" + clean(l.detail);
    return s;
}

std::optional<ClockLogLine> parseClockLogLine(std::string_view text) {
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    const std::vector<std::string_view> f = fields(text);
    if (f.size() < 6) return std::nullopt;
    ClockLogLine l;
    const std::optional<int64_t> utc = parseUtc(f[0]);
    if (!utc || f[3].empty()) return std::nullopt;
    l.utcMs = *utc;
    l.sensor = f[1];
    l.address = f[2];
    l.event = f[3];
    if (!readNumber(f[4], l.offsetMs) || !readNumber(f[5], l.boundMs)) return std::nullopt;
    if (f.size() > 6 && !readNumber(f[6], l.driftPpm)) return std::nullopt;
    if (f.size() > 7) l.entry = f[7];
    if (f.size() > 8) l.detail = f[8];
    return l;
}

bool appendClockLog(const std::string& saveFolder, const ClockLogLine& line, std::string& why) {
    return safeout::appendWholeLine(clockLogPath(saveFolder), formatClockLogLine(line) + "\n",
                                    std::string(kClockLogHeader) + "\n", why);
}

std::vector<ClockLogLine> readClockLog(const std::string& saveFolder, const std::string& address,
                                       std::string& why, size_t keep) {
    std::vector<ClockLogLine> none;
    const std::string path = clockLogPath(saveFolder);
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno != ENOENT) why = path + ": " + std::strerror(errno);
        return none;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        why = path + ": is not a regular file";
        return none;
    }
    keep = std::max<size_t>(keep, 2);
    std::optional<ClockLogLine> first;
    std::deque<ClockLogLine> last;
    auto take = [&](std::string_view text) {
        std::optional<ClockLogLine> l = parseClockLogLine(text);
        if (!l || l->address != address) return;
        if (l->event == event::set) {
            first = std::move(l);
            last.clear();
            return;
        }
        // Drift is measured from the earliest line with an offset.
        if (!first || (!first->offsetMs && l->offsetMs)) {
            first = std::move(l);
            return;
        }
        last.push_back(std::move(*l));
        if (last.size() > keep - 1) last.pop_front();
    };
    std::string pending;
    bool overlong = false;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            why = path + ": " + std::strerror(errno);
            break;
        }
        if (n == 0) break;
        std::string_view chunk(buffer, size_t(n));
        while (!chunk.empty()) {
            const size_t nl = chunk.find('\n');
            const std::string_view part = chunk.substr(0, nl);
            if (!overlong) {
                if (pending.size() + part.size() > kMaxLine) {
                    overlong = true;
                    pending.clear();
                } else {
                    pending.append(part);
                }
            }
            if (nl == std::string_view::npos) break;
            if (!overlong) take(pending);
            pending.clear();
            overlong = false;
            chunk.remove_prefix(nl + 1);
        }
    }
    ::close(fd);
    // A last line without its end is the one a writer may still be adding: skipped.
    std::vector<ClockLogLine> lines;
    if (first) lines.push_back(std::move(*first));
    for (ClockLogLine& l : last) lines.push_back(std::move(l));
    return lines;
}

std::optional<double> driftPpm(const ClockLogLine& earlier, const ClockLogLine& later) {
    if (!earlier.offsetMs || !later.offsetMs || later.utcMs <= earlier.utcMs) return std::nullopt;
    return (*later.offsetMs - *earlier.offsetMs) / double(later.utcMs - earlier.utcMs) * 1e6;
}

std::optional<double> driftBoundPpm(const ClockLogLine& earlier, const ClockLogLine& later) {
    if (!driftPpm(earlier, later) || !earlier.boundMs || !later.boundMs) return std::nullopt;
    return (*earlier.boundMs + *later.boundMs) / double(later.utcMs - earlier.utcMs) * 1e6;
}

std::optional<ClockLogLine> driftBase(const std::vector<ClockLogLine>& lines) {
    for (const ClockLogLine& l : lines)
        if (l.offsetMs) return l;
    return std::nullopt;
}

}  // namespace timebase
