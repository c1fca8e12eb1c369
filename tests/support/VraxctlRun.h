// vraxctl run as a program in a temporary folder of its own: its exit code
// and output, the files it leaves, and signals sent while it runs.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <QDate>
#include <QProcess>
#include <QThread>
#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "support/Files.h"

struct VraxctlResult {
    int code = -1;  // the exit code; 128 + n when signal n ended it
    std::string out, err;
    bool says(const std::string& text) const { return (out + err).find(text) != std::string::npos; }
    std::string codeAndOut() const { return std::to_string(code) + ": " + out; }  // exact checks
};

inline std::ostream& operator<<(std::ostream& o, const VraxctlResult& r) {
    return o << "exit " << r.code << "\n" << r.out << r.err;
}

// The run ended with `code` and said each of `err` on stderr, of `out` on stdout.
inline testing::AssertionResult exits(const VraxctlResult& r, int code,
                                      const std::vector<std::string>& err = {},
                                      const std::vector<std::string>& out = {}) {
    bool ok = r.code == code;
    for (const std::string& text : err) ok = ok && r.err.find(text) != std::string::npos;
    for (const std::string& text : out) ok = ok && r.out.find(text) != std::string::npos;
    if (ok) return testing::AssertionSuccess();
    return testing::AssertionFailure() << r;
}

inline size_t countLines(const std::string& text) {
    return size_t(std::count(text.begin(), text.end(), '\n'));
}

// The pieces of `text` between `separator`s; none after a last separator.
inline std::vector<std::string> splitText(const std::string& text, char separator = '\n') {
    std::vector<std::string> pieces;
    for (size_t at = 0; at < text.size();) {
        const size_t end = std::min(text.find(separator, at), text.size());
        pieces.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return pieces;
}

class VraxctlRunTest : public ::testing::Test {
  protected:
    using Result = VraxctlResult;

    void SetUp() override {
        dir = makeTempFolder("vraxctl");
        dayFolder = QDate::currentDate().toString(u"'memdata_'yyyyMMdd").toStdString();
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    // Sets `p` to run in the test's folder, $VRAXCTL naming vraxctl, SIGPIPE
    // and SIGXFSZ as a shell leaves them; `fileLimit`: the largest file it may write.
    void prepare(QProcess& p, const QString& faults, rlim_t fileLimit = RLIM_INFINITY) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VRAXCTL"), QStringLiteral(VRAXCTL_PATH));
        env.insert(QStringLiteral("VRAXCTL_DEMO_FAULT"), faults);
        env.insert(QStringLiteral("HOME"), QString::fromStdString(dir.string()));
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(QString::fromStdString(dir.string()));
        p.setChildProcessModifier([fileLimit] {
            signal(SIGXFSZ, SIG_DFL);
            signal(SIGPIPE, SIG_DFL);
            rlimit limit{fileLimit, fileLimit};
            setrlimit(RLIMIT_FSIZE, &limit);
        });
    }
    // Runs vraxctl (or `program`) with `args`, stdin closed (not a terminal);
    // `meanwhile` acts on the running process.
    Result run(const QStringList& args, const QString& faults = QStringLiteral("fast"),
               rlim_t fileLimit = RLIM_INFINITY,
               const std::function<void(QProcess&)>& meanwhile = {},
               const QString& program = QStringLiteral(VRAXCTL_PATH)) {
        QProcess p;
        prepare(p, faults, fileLimit);
        p.setStandardInputFile(QProcess::nullDevice());
        p.start(program, args);
        if (meanwhile && p.waitForStarted()) meanwhile(p);
        Result r;
        if (!p.waitForFinished(120000)) return r;
        // QProcess reports a crash; the signal is the exit code it keeps.
        r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : 128 + p.exitCode();
        r.out = p.readAllStandardOutput().toStdString();
        r.err = p.readAllStandardError().toStdString();
        return r;
    }
    // The arguments split at spaces: one at the end gives an empty argument.
    Result run(const char* line, const QString& faults = QStringLiteral("fast"),
               rlim_t fileLimit = RLIM_INFINITY,
               const std::function<void(QProcess&)>& meanwhile = {}) {
        return run(QString::fromUtf8(line).split(' '), faults, fileLimit, meanwhile);
    }
    // A shell line, $VRAXCTL naming vraxctl; the result is the shell's.
    Result shell(const std::string& line, const QString& faults = QStringLiteral("fast"),
                 const QString& program = QStringLiteral("/bin/bash")) {
        return run(QStringList{QStringLiteral("-c"), QString::fromStdString(line)}, faults,
                   RLIM_INFINITY, {}, program);
    }
    // Runs `line` paced and sends `sig` once `file` holds 20000 bytes.
    Result interrupt(const char* line, const std::filesystem::path& file, int sig,
                     const QString& faults = QString()) {
        return run(line, faults, RLIM_INFINITY,
                   [&](QProcess& p) { signalAt(p, file, 20000, sig); });
    }
    // Waits until `file` holds `bytes`, then sends `sig` to `p`.
    static void signalAt(QProcess& p, const std::filesystem::path& file, uintmax_t bytes, int sig) {
        std::error_code ec;
        int waited = 0;
        while (!(std::filesystem::file_size(file, ec) >= bytes && !ec) && ++waited < 3000)
            QThread::msleep(10);
        EXPECT_LT(waited, 3000) << file;
        ::kill(pid_t(p.processId()), sig);
    }
    // Every file under `folder` by its relative name, sorted, less the
    // sidecars ("<file>.json" beside "<file>"); `recursive` also in subfolders.
    std::vector<std::string> filesIn(const std::filesystem::path& folder,
                                     bool recursive = false) const {
        namespace fs = std::filesystem;
        std::vector<std::string> names;
        std::error_code ec;
        for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end;
             it.increment(ec)) {
            const fs::path& p = it->path();
            if (!recursive) it.disable_recursion_pending();
            if (p.extension() == ".json" && fs::exists(fs::path(p).replace_extension())) continue;
            names.push_back(fs::relative(p, folder).string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    bool anyWorkingFile(const std::filesystem::path& folder) const {
        for (const std::string& name : filesIn(folder, true))
            if (name.ends_with(".part")) return true;
        return false;
    }
    std::filesystem::path day() const { return dir / "out" / dayFolder; }

    std::filesystem::path dir;
    std::string dayFolder;
};
