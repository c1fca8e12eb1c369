#include "app/DownloadFlow.h"

#include <sys/stat.h>

#include <QDateTime>
#include <QFileInfo>
#include <QLocale>
#include <QTimer>
#include <chrono>
#include <vector>

#include "app/ActionRunner.h"
#include "app/Messages.h"
#include "app/MyTools.h"
#include "app/OutcomeText.h"
#include "app/ProgressView.h"
#include "app/StdText.h"
#include "sensor/DownloadNaming.h"
#include "store/FileIO.h"

namespace {

#ifdef VRAX_HAVE_PREVIEW
constexpr bool kHavePreview = true;
#else
constexpr bool kHavePreview = false;
#endif

QString fileNameOf(const std::string& path) {
    return QFileInfo(qs(path)).fileName();
}

// Size and modification time of what lies at `path`, for the question
// about an existing file (a link that leads nowhere: the link itself).
QString describeExisting(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 && ::lstat(path.c_str(), &st) != 0) return {};
    const QString when = QDateTime::fromSecsSinceEpoch(st.st_mtim.tv_sec)
                             .toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"));
    return msg::existingFileDescription(QLocale(QLocale::Japanese).toString(qlonglong(st.st_size)),
                                        when);
}

}  // namespace

DownloadFlow::DownloadFlow(ActionRunner* runner, ProgressView* view, Hooks hooks, QObject* parent)
    : QObject(parent), runner(runner), view(view), hooks(std::move(hooks)) {}

void DownloadFlow::download(const QString& name, const QString& address, const Entries& entries,
                            int row, const QString& saveFolder, bool filtered) {
    int32_t year = 0, month = 0, day = 0, hour = 0, min = 0, sec = 0, msec = 0;
    const auto now = std::chrono::system_clock::now();
    MyTools::sepNSDate(&now, year, month, day, hour, min, sec, msec);

    session::DownloadRequest request;
    request.saveFolder = saveFolder.toStdString();
    request.entryRow = row;
    request.startText = entries.startTexts[row].toStdString();
    request.expectedRecords = entries.recordCounts.value(row, -1);
    request.filtered = filtered;
    std::vector<std::string> startTexts;
    for (const QString& t : entries.startTexts) startTexts.push_back(t.toStdString());
    request.numberInName = entryNeedsNumber(startTexts, size_t(row));
    request.year = year, request.month = month, request.day = day;

    // The name the session will give the file; what already lies there is
    // the user's to keep or replace, asked before the sensor is touched.
    const std::string target = session::targetPathOf(request, name.toStdString());
    if (fileio::exists(target)) {
        const int answer =
            MyTools::askQuestion(msg::existingFileQuestion(qs(target), describeExisting(target)),
                                 msg::warning(), msg::existingFileButtons());
        if (answer == msg::kKeepBoth)
            request.existing = safeout::Existing::keepBoth;
        else if (answer == msg::kReplace)
            request.existing = safeout::Existing::replace;
        else
            return;
        if (runner->cancelRequested()) return;  // the window was closed while the question was open
    }

    bool started = false;
    session::DownloadHooks dl;
    dl.transferStarted = [this, &request, &started] {
        started = true;
        view->beginTransfer(request.expectedRecords);
        if (hooks.transferStarted) hooks.transferStarted();
    };
    bool writeFailed = false;
    uint64_t linesInFile = 0;
    session::SensorSession* running = nullptr;
    // Once writing has failed, the counter says what the file holds.
    dl.progress = [this, &running](uint64_t records, int64_t) {
        const VRAXSensorData& store = running->sensor().getSensorDataObject();
        if (store.hadWriteError())
            view->setCountInFile(store.writtenRecords(), records);
        else
            view->setCount(records);
    };
    dl.cancelRequested = [this] { return runner->cancelRequested(); };
    // Said on the overlay at once, while the transfer goes on.
    dl.writeFailing = [this](const std::string& why) { view->showWriteFailure(qs(why)); };
    // A write error is raised inside data delivery: show it once the parse
    // has returned, from the event loop of the download's wait.
    dl.storeMessage = [this](const std::string& message, const std::string& title) {
        QTimer::singleShot(0, this,
                           [m = qs(message), t = qs(title)] { MyTools::dispMessageOK(m, t); });
    };

    session::DownloadReport report;
    session::Outcome o;
    runner->runSession(
        name, address,
        [&](session::SensorSession& s) {
            running = &s;
            const session::Outcome result = s.downloadEntry(request, dl, report);
            const VRAXSensorData& store = s.sensor().getSensorDataObject();
            writeFailed = store.hadWriteError();
            linesInFile = store.writtenRecords();
            return result;
        },
        o);
    if (hooks.disconnected) hooks.disconnected();

    if (!started) {
        hooks.showOutcome(o, name);
        return;
    }
    if (writeFailed) view->setCountInFile(linesInFile, report.records);
    finish(name, o, report);
}

void DownloadFlow::finish(const QString& name, const session::Outcome& o,
                          const session::DownloadReport& report) {
    // Only a whole entry is offered for preview.
    const bool complete = o.ok() && report.complete;
    lastDownloadPath = complete ? qs(report.filePath) : QString();
    const QString kept = qs(report.filePath);
    if (complete) {
        view->finish(true, kHavePreview,
                     report.filePath == report.targetPath
                         ? QString()
                         : msg::savedUnderOtherName(fileNameOf(report.filePath)),
                     kept);
        return;
    }
    // Stopped on purpose with every record that arrived in its file: the
    // overlay says where they are; nothing went wrong.
    if (o.result == session::Result::cancelled && runner->cancelRequested() &&
        (report.filePath.empty() || report.fileComplete)) {
        view->finish(false, kHavePreview,
                     report.filePath.empty() ? msg::cancelledNoFile()
                                             : msg::cancelledKept(report.records, report.expected,
                                                                  fileNameOf(report.filePath)),
                     kept);
        return;
    }
    view->finish(false, kHavePreview,
                 report.filePath.empty() ? msg::overlayNoFileKept()
                                         : msg::receivedSavedTo(fileNameOf(report.filePath)),
                 kept);
    MyTools::dispMessageOK(downloadFailureText(name, o, report), msg::error());
}
