// Download All New of the sensors overview: every entry of the selected
// sensors that the save folder does not hold complete yet, the sensors side
// by side, each row showing its progress and then what it brought.
#include <QDate>
#include <QFileInfo>
#include <map>

#include "app/ActionHost.h"
#include "app/Messages.h"
#include "app/MyTools.h"
#include "app/OverviewText.h"
#include "app/SensorsOverview.h"
#include "store/FileIO.h"

namespace {

struct Plan {
    std::vector<session::DownloadRequest> requests;
    int done = 0;                // complete downloads so far
    std::string incompleteFile;  // what a transfer that broke off kept
};

}  // namespace

std::map<std::string, session::MemoryListing> SensorsOverview::listEach(
    const QStringList& addresses) {
    // One place per sensor, made before the threads start: each fills its own.
    std::map<std::string, session::MemoryListing> listed;
    for (const QString& a : addresses) listed[a.toStdString()];
    runOn(
        addresses,
        [&](session::SensorSession& s, int) {
            session::MemoryListing listing;
            const session::Outcome o = s.listMemory(listing);
            listed.at(s.sensor().address()) = listing;
            return o;
        },
        [](OverviewRow& r, const session::Outcome&) { r.state = OverviewRow::State::idle; },
        Together::onThreads);
    return listed;
}

session::DownloadRequest SensorsOverview::entryRequest(
    const std::string& folder, const std::vector<session::EntryInfo>& entries, size_t row,
    bool filtered) {
    std::vector<std::string> starts;
    for (const auto& e : entries) starts.push_back(e.startText);
    session::DownloadRequest request;
    request.saveFolder = folder;
    request.entryRow = int(row);
    request.startText = entries[row].startText;
    request.expectedRecords = entries[row].records;
    request.filtered = filtered;
    request.numberInName = entryNeedsNumber(starts, row);
    return request;
}

void SensorsOverview::downloadAllNew() {
    QStringList chosen = selectedAddresses();
    if (chosen.isEmpty())
        for (const OverviewRow& r : rows->rows()) chosen << r.address;
    const std::map<std::string, session::MemoryListing> listed = listEach(chosen);

    // What is new, named as the single download names it, today's day folder.
    const std::string folder = host->saveFolder().toStdString();
    const bool filtered = filteredSource && filteredSource();
    const QDate today = QDate::currentDate();
    std::map<std::string, Plan> plans;
    QStringList conflicts;
    QStringList toDownload;
    for (const QString& a : chosen) {
        const int i = rows->rowOf(a);
        const auto it = listed.find(a.toStdString());
        if (i < 0 || rows->row(i).failed || it == listed.end()) continue;
        const std::string name = rows->row(i).name.toStdString();
        const auto& entries = it->second.entries;
        Plan plan;
        for (size_t e = 0; e < entries.size(); ++e) {
            session::DownloadRequest request = entryRequest(folder, entries, e, filtered);
            request.year = today.year(), request.month = today.month(), request.day = today.day();
            const std::string target = session::targetPathOf(request, name);
            if (completeDownload(folder, target, entries[e].records)) continue;
            if (fileio::exists(target)) conflicts << QString::fromStdString(target);
            plan.requests.push_back(request);
        }
        if (plan.requests.empty()) {
            rows->update(i, [](OverviewRow& r) { r.result = overview::nothingNew(); });
            continue;
        }
        plans[a.toStdString()] = plan;
        toDownload << a;
    }
    if (toDownload.isEmpty()) return;
    // A file under a download's name that is not that download: the user's
    // to keep or replace, asked once for all before any transfer.
    if (!conflicts.isEmpty()) {
        const int answer = MyTools::askQuestion(overview::existingFilesQuestion(conflicts),
                                                msg::warning(), msg::existingFileButtons());
        if (answer != msg::kKeepBoth && answer != msg::kReplace) return;
        for (auto& [address, plan] : plans)
            for (auto& request : plan.requests)
                request.existing = answer == msg::kReplace ? safeout::Existing::replace
                                                           : safeout::Existing::keepBoth;
    }

    runOn(
        toDownload,
        [&](session::SensorSession& s, int) {
            Plan& plan = plans[s.sensor().address()];
            const int row = rows->rowOf(QString::fromStdString(s.sensor().address()));
            const int count = int(plan.requests.size());
            session::Outcome o;
            for (int k = 0; k < count && o.ok(); ++k) {
                session::DownloadHooks hooks;
                hooks.progress = [&](uint64_t records, int64_t expected) {
                    const int percent = expected > 0 ? int(records * 100 / uint64_t(expected)) : 0;
                    rows->update(row, [&](OverviewRow& r) {
                        r.result = overview::downloadProgress(k + 1, count, percent);
                    });
                };
                hooks.cancelRequested = [this] { return host->stopAsked(); };
                hooks.storeMessage = [](const std::string&, const std::string&) {};
                session::DownloadReport report;
                o = s.downloadEntry(plan.requests[size_t(k)], hooks, report);
                if (o.ok() && report.complete)
                    ++plan.done;
                else if (!report.filePath.empty())
                    plan.incompleteFile = report.filePath;
                if (o.ok() && !report.complete)
                    o = session::Outcome::aboutPath(session::Result::missingRecords,
                                                    session::Step::download, report.filePath);
            }
            return o;
        },
        [&](OverviewRow& r, const session::Outcome&) {
            r.result = overview::downloaded(plans[r.address.toStdString()].done);
        });
    // A sensor that broke off names the file that keeps what arrived.
    for (const QString& a : toDownload) {
        const Plan& plan = plans[a.toStdString()];
        if (plan.incompleteFile.empty()) continue;
        rows->update(rows->rowOf(a), [&](OverviewRow& r) {
            r.failed = true;
            r.result = overview::downloadIncomplete(
                plan.done, QFileInfo(QString::fromStdString(plan.incompleteFile)).fileName());
        });
    }
}
