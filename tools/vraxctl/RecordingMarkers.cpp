#include "tools/vraxctl/RecordingMarkers.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "sensor/DownloadNaming.h"
#include "store/ClockLog.h"
#include "store/SafeAppend.h"
#include "store/SafeOutput.h"
#include "store/TimeText.h"
#include "tools/vraxctl/Cli.h"
#include "tools/vraxctl/Markers.h"

namespace cli {

namespace {
// Built piece by piece: GCC 12 misreads the chained concatenation.
std::string headerLine() {
    std::string line = kHostEventsHeader;
    line += '\n';
    return line;
}
}  // namespace
namespace {

// The note's end that is read: its last line is much shorter.
constexpr size_t kNoteTail = 8192;

// An events file the note may name: a .tsv file in a day folder of the
// note's own folder, never anywhere else.
bool plausibleEventsName(const std::string& relative) {
    const size_t slash = relative.find('/');
    return relative.rfind("memdata_", 0) == 0 && slash != std::string::npos &&
           relative.find('/', slash + 1) == std::string::npos &&
           relative.find("..") == std::string::npos && relative.size() > slash + 5 &&
           relative.compare(relative.size() - 4, 4, ".tsv") == 0;
}

}  // namespace

std::optional<std::string> noteRecordingSession(const std::string& outFolder,
                                                const std::string& dayFolder, int64_t startUtcMs,
                                                std::string& why) {
    std::error_code ec;
    std::filesystem::create_directories(dayFolder, ec);
    std::string events;
    if (!safeout::writeWholeFile(dayFolder + "/events.tsv", headerLine(),
                                 safeout::Existing::keepBoth, why, &events))
        return std::nullopt;
    std::string relative = events;
    if (relative.rfind(outFolder + "/", 0) == 0) relative.erase(0, outFolder.size() + 1);
    const std::string line = timetext::isoUtc(startUtcMs) + "\t" + relative + "\n";
    if (!safeout::appendWholeLine(outFolder + "/" + kRecordingNote, line, kRecordingNoteHeader,
                                  why))
        return std::nullopt;
    return events;
}

std::optional<RecordingSession> lastRecordingSession(const std::string& outFolder,
                                                     std::string& why) {
    why.clear();
    const std::string path = outFolder + "/" + kRecordingNote;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT) why = path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    struct stat st {};
    std::string tail;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        const off_t from = st.st_size > off_t(kNoteTail) ? st.st_size - off_t(kNoteTail) : 0;
        tail.resize(size_t(st.st_size - from));
        const ssize_t n = ::pread(fd, tail.data(), tail.size(), from);
        tail.resize(n > 0 ? size_t(n) : 0);
    } else {
        why = path + ": is not a regular file";
    }
    ::close(fd);
    // The last whole line.
    while (!tail.empty() && tail.back() == '\n') tail.pop_back();
    const size_t begin = tail.rfind('\n');
    const std::string line = begin == std::string::npos ? tail : tail.substr(begin + 1);
    const size_t tab = line.find('\t');
    std::optional<int64_t> start;
    if (tab != std::string::npos) start = timebase::parseUtc(std::string_view(line).substr(0, tab));
    const std::string relative = tab == std::string::npos ? std::string() : line.substr(tab + 1);
    if (!start || !plausibleEventsName(relative)) {
        if (why.empty()) why = path + ": its last line is not a recording session";
        return std::nullopt;
    }
    return RecordingSession{*start, outFolder + "/" + relative};
}

bool addRecordingMarker(const RecordingSession& session, const std::string& field, int64_t utcMs,
                        std::string& why) {
    std::string row = eventRow(field, utcMs, session.startUtcMs);
    row += '\n';
    return safeout::appendWholeLine(session.eventsPath, row, headerLine(), why);
}

void noteRecording(const std::string& saveFolder, const std::optional<session::ClockTime>& at) {
    const session::ClockTime day = at ? *at : session::localClockNow();
    const int64_t start = at ? timetext::localAsUtcMs({at->year, at->month, at->day, at->hour,
                                                       at->minute, at->second, at->msec})
                             : hostUtcMs();
    std::string why;
    const std::optional<std::string> events = noteRecordingSession(
        saveFolder, dayFolderPath(saveFolder, day.year, day.month, day.day), start, why);
    if (events)
        std::printf("markers (vraxctl mark --out %s TEXT) -> %s\n", shown(saveFolder).c_str(),
                    shown(*events).c_str());
    else
        warning("vraxctl mark cannot add markers to this recording (" + shown(why) + ")");
}

}  // namespace cli
