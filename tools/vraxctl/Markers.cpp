#include "tools/vraxctl/Markers.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "tools/vraxctl/Cli.h"
#include "tools/vraxctl/RecordingMarkers.h"

namespace cli {

MarkerInput::MarkerInput(const std::string& outFolder, Take takeLine) : take(std::move(takeLine)) {
    std::error_code ec;
    std::filesystem::create_directories(outFolder, ec);
    // Standard input stays blocking (the shell shares it): one read per
    // notice, which does not block.
    // A terminal of which this is not the foreground job is left alone:
    // reading it would stop the program (SIGTTIN).
    const bool backgroundOfTerminal =
        isatty(STDIN_FILENO) == 1 && tcgetpgrp(STDIN_FILENO) != getpgrp();
    if (fcntl(STDIN_FILENO, F_GETFD) >= 0 && !backgroundOfTerminal) {
        inputNote = std::make_unique<QSocketNotifier>(STDIN_FILENO, QSocketNotifier::Read);
        QObject::connect(inputNote.get(), &QSocketNotifier::activated,
                         [this] { readFrom(STDIN_FILENO, inputHeld, false); });
    }
    // The pipe `vraxctl mark` writes to. One that a reader holds belongs to
    // another session in the same folder; one nobody holds is a leftover.
    const std::string path = outFolder + "/" + kMarkerPipe;
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0) {
        if (!S_ISFIFO(st.st_mode)) {
            warning(shown(path) + " is not a marker pipe; vraxctl mark cannot reach this session");
            return;
        }
        const int probe = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
        if (probe >= 0) {
            ::close(probe);
            warning("another live session takes the markers of " + shown(outFolder) +
                    "; type them here");
            return;
        }
    } else if (mkfifo(path.c_str(), 0600) != 0) {
        warning("cannot make " + shown(path) + " (" + std::strerror(errno) +
                "); vraxctl mark cannot reach this session");
        return;
    }
    // Read and write: the pipe never reads as ended when a writer closes it.
    pipeFd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (pipeFd < 0) return;
    pipePath = path;
    pipeNote = std::make_unique<QSocketNotifier>(pipeFd, QSocketNotifier::Read);
    QObject::connect(pipeNote.get(), &QSocketNotifier::activated,
                     [this] { readFrom(pipeFd, pipeHeld, true); });
}

MarkerInput::~MarkerInput() {
    inputNote.reset();
    pipeNote.reset();
    if (pipeFd >= 0) {
        ::unlink(pipePath.c_str());
        ::close(pipeFd);
    }
}

void MarkerInput::readFrom(int fd, std::string& held, bool fromPipe) {
    bool& dropping = fromPipe ? pipeDropping : inputDropping;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0 || errno != EAGAIN) {
                // The end of standard input (or an error): no more markers there.
                if (!held.empty() && !dropping) takeLine(held, fromPipe);
                held.clear();
                if (fromPipe)
                    pipeNote->setEnabled(false);
                else
                    inputNote->setEnabled(false);
            }
            return;
        }
        const bool more = fromPipe;  // standard input: one read per notice
        for (ssize_t i = 0; i < n; ++i) {
            if (buf[i] == '\n') {
                if (!dropping) takeLine(held, fromPipe);
                held.clear();
                dropping = false;
            } else if (!dropping) {
                held += buf[i];
                // A line without end is cut: memory stays bounded, whatever comes in.
                if (held.size() > kMarkerTextLimit + 32) {
                    takeLine(held, fromPipe);
                    held.clear();
                    dropping = true;
                }
            }
        }
        if (!more) return;
    }
}

void MarkerInput::takeLine(const std::string& line, bool fromPipe) {
    if (!fromPipe) {
        take(line, hostUtcMs());
        return;
    }
    // "<utc ms>\t<text>", as vraxctl mark sends it.
    const size_t tab = line.find('\t');
    long long utc = 0;
    int used = 0;
    if (tab == std::string::npos || std::sscanf(line.c_str(), "%lld%n", &utc, &used) != 1 ||
        size_t(used) != tab)
        return;
    take(line.substr(tab + 1), int64_t(utc));
}

void MarkerInput::flush() {
    if (!inputHeld.empty() && !inputDropping) takeLine(inputHeld, false);
    inputHeld.clear();
}

namespace {

// A marker of the recording session noted in `outFolder`, on host time.
int markRecording(const std::string& outFolder, const std::string& field, int64_t utc) {
    std::string why;
    const std::optional<RecordingSession> session = lastRecordingSession(outFolder, why);
    if (!session) {
        if (!why.empty()) error(shown(why));
        error("no live session takes markers in " + shown(outFolder) +
              " and no recording was started there (start vraxctl live or record with --out " +
              shown(outFolder) + ")");
        return Exit::noSensor;
    }
    if (!addRecordingMarker(*session, field, utc, why)) {
        error("cannot add the marker (" + shown(why) + ")");
        return Exit::fileError;
    }
    std::printf("marked: %s -> %s\n", shown(field).c_str(), shown(session->eventsPath).c_str());
    return Exit::ok;
}

}  // namespace

int sendMarker(const std::string& outFolder, const std::string& text) {
    const std::string field = markerField(text);
    if (field.empty()) {
        error("the marker text is empty");
        return Exit::usage;
    }
    const std::string path = outFolder + "/" + kMarkerPipe;
    const int64_t utc = hostUtcMs();
    const std::string line = std::to_string(utc) + "\t" + field + "\n";
    struct stat st {};
    const int fd = lstat(path.c_str(), &st) == 0 && S_ISFIFO(st.st_mode)
                       ? ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC)
                       : -1;
    if (fd < 0) return markRecording(outFolder, field, utc);
    // One write of less than PIPE_BUF bytes: the line arrives whole.
    static_assert(kMarkerTextLimit + 32 < PIPE_BUF);
    const ssize_t n = ::write(fd, line.data(), line.size());
    const int err = errno;
    ::close(fd);
    if (n != ssize_t(line.size())) {
        error("cannot send the marker (" + std::string(std::strerror(err)) + ")");
        return Exit::fileError;
    }
    std::printf("marked: %s\n", shown(field).c_str());
    return Exit::ok;
}

}  // namespace cli
