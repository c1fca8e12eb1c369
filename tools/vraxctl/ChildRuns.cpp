#include "tools/vraxctl/ChildRuns.h"

#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QProcessEnvironment>
#include <algorithm>
#include <csignal>
#include <cstdio>

#include "link/EventWait.h"
#include "tools/vraxctl/Interrupts.h"
#include "tools/vraxctl/Progress.h"

namespace cli {

ParallelScreen::ParallelScreen() : terminal(isatty(STDERR_FILENO) == 1) {}

void ParallelScreen::print(const std::string& line, bool toStderr) {
    clear();
    std::FILE* to = toStderr ? stderr : stdout;
    std::fprintf(to, "%s\n", line.c_str());
    std::fflush(to);
    draw();
}

void ParallelScreen::progress(size_t row, const std::string& marker) {
    char kind = 0;
    unsigned long long records = 0;
    long long expected = 0;
    double seconds = 0;
    int labelAt = 0;
    if (std::sscanf(marker.c_str() + 1, "%c %llu %lld %lf %n", &kind, &records, &expected, &seconds,
                    &labelAt) < 4 ||
        labelAt <= 0)
        return;
    const std::string label = marker.substr(size_t(labelAt) + 1);
    Row& r = rows[row];
    const auto now = std::chrono::steady_clock::now();
    if (kind == 'F') {
        r.text.clear();
        print(Progress::line(label, records, expected, seconds, terminal), true);
        return;
    }
    r.text = Progress::line(label, records, expected, seconds, terminal);
    if (terminal) {
        if (now - lastDrawn < std::chrono::milliseconds(100)) return;
        clear();
        draw();
    } else if (now - r.lastPlain >= std::chrono::seconds(5)) {
        r.lastPlain = now;
        print(Progress::line(label, records, expected, seconds, false), true);
    }
}

void ParallelScreen::ended(size_t row) {
    rows[row].text.clear();
    clear();
    draw();
}

void ParallelScreen::clear() {
    if (!terminal || drawn == 0) return;
    std::fprintf(stderr, "\033[%dF\033[J", drawn);  // up to the first progress line, cleared
    drawn = 0;
    std::fflush(stderr);
}

void ParallelScreen::draw() {
    if (!terminal) return;
    // Each line cut to the terminal's width (at a character's start): a
    // wrapped line would take more rows than clear() goes back over.
    winsize size{};
    const size_t width =
        ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1 ? size.ws_col - 1 : 79;
    for (const Row& r : rows)
        if (!r.text.empty()) {
            size_t n = std::min(r.text.size(), width);
            while (n < r.text.size() && n > 0 && (uint8_t(r.text[n]) & 0xC0) == 0x80) --n;
            std::fprintf(stderr, "%.*s\033[K\n", int(n), r.text.c_str());
            ++drawn;
        }
    std::fflush(stderr);
    lastDrawn = std::chrono::steady_clock::now();
}

namespace {

// The complete lines of a child's stream, each shown or, for markers, read.
void takeLines(ChildRun& c, size_t row, int stream, const QByteArray& bytes, bool all,
               ParallelScreen& screen) {
    std::string& held = c.pending[stream];
    held.append(bytes.constData(), size_t(bytes.size()));
    size_t start = 0;
    for (;;) {
        size_t end = held.find('\n', start);
        if (end == std::string::npos) {
            if (!all || start == held.size()) break;
            end = held.size();
        }
        const std::string line = held.substr(start, end - start);
        start = std::min(end + 1, held.size());
        if (stream == 1 && !line.empty() && line[0] == Progress::kMarker) {
            if (line.size() > 1 && (line[1] == 'P' || line[1] == 'F'))
                screen.progress(row, line);
            else if (c.onMarker)
                c.onMarker(line);
            continue;
        }
        screen.print(line, stream == 1);
    }
    held.erase(0, start);
}

}  // namespace

void runChildren(std::vector<ChildRun>& children, int atOnce,
                 const std::function<QStringList(const ChildRun&)>& arguments,
                 ParallelScreen& screen) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(Progress::kChildVariable), QStringLiteral("1"));
    const QString program = QCoreApplication::applicationFilePath();
    screen.resize(children.size());
    size_t next = 0;
    int running = 0;
    bool forwarded = false;
    auto start = [&](ChildRun& c, size_t row) {
        c.process = std::make_unique<QProcess>();
        QProcess& p = *c.process;
        p.setProgram(program);
        p.setArguments(arguments(c));
        p.setProcessEnvironment(env);
        p.setStandardInputFile(QProcess::nullDevice());
        // Its own process group: a Ctrl-C reaches the parent alone, which
        // passes it on once; and it is told to stop if the parent dies.
        p.setChildProcessModifier([] {
            setpgid(0, 0);
            prctl(PR_SET_PDEATHSIG, SIGTERM);
        });
        QObject::connect(&p, &QProcess::readyReadStandardOutput, [&c, &screen, row] {
            takeLines(c, row, 0, c.process->readAllStandardOutput(), false, screen);
        });
        QObject::connect(&p, &QProcess::readyReadStandardError, [&c, &screen, row] {
            takeLines(c, row, 1, c.process->readAllStandardError(), false, screen);
        });
        QObject::connect(&p, &QProcess::finished,
                         [&c, &screen, &running, row](int exitCode, QProcess::ExitStatus status) {
                             takeLines(c, row, 0, c.process->readAllStandardOutput(), true, screen);
                             takeLines(c, row, 1, c.process->readAllStandardError(), true, screen);
                             c.code = status == QProcess::NormalExit ? exitCode : -1;
                             c.running = false;
                             c.done = true;
                             --running;
                             screen.ended(row);
                         });
        QObject::connect(
            &p, &QProcess::errorOccurred, [&c, &running, &program](QProcess::ProcessError why) {
                if (why != QProcess::FailedToStart) return;
                error(shown(c.ref.name) + ": cannot start " + shown(program.toStdString()));
                c.code = Exit::fileError;
                c.running = false;
                c.done = true;
                --running;
            });
        c.started = true;
        c.running = true;
        ++running;
        // The child starts with the interrupting signals held back (a mask
        // outlives exec) until its own handlers are in place: an early
        // Ctrl-C interrupts it instead of killing it.
        sigset_t mask;
        blockInterrupts(&mask);
        p.start();
        sigprocmask(SIG_SETMASK, &mask, nullptr);
    };
    auto step = [&] {
        if (stopRequested() && !forwarded) {
            // Every running child ends as an interrupted one; nothing new starts.
            forwarded = true;
            for (ChildRun& c : children)
                if (c.running) ::kill(pid_t(c.process->processId()), int(interruptSignal));
        }
        while (!interrupted && running < atOnce && next < children.size()) {
            if (!children[next].done) start(children[next], next);
            ++next;
        }
        return running == 0 && (interrupted || next >= children.size());
    };
    while (!step()) eventwait::runUntil(step, 3600.0, 0.02);
    screen.finish();
}

}  // namespace cli
