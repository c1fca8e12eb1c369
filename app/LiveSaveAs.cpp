#include "app/LiveSaveAs.h"

#include <QFileDialog>

#include "app/Messages.h"
#include "app/MyTools.h"
#include "app/StdText.h"
#include "store/FileIO.h"
#include "store/VRAXSensorData.h"

namespace livesave {

QString choose(QWidget* parent, const QString& folder, bool& binary) {
    const QString binaryFilter = QStringLiteral("Binary dump (*.bin)");
    const QString csvFilter = QStringLiteral("CSV files (*.csv)");
    QString chosenFilter;
    const QString path = QFileDialog::getSaveFileName(
        parent, QStringLiteral("Save Live Data"), folder,
        csvFilter + QStringLiteral(";;") + binaryFilter, &chosenFilter,
        QFileDialog::DontUseNativeDialog | QFileDialog::DontConfirmOverwrite);
    binary = chosenFilter == binaryFilter;
    return path;
}

std::optional<QStringList> save(const QStringList& streamed, const QString& path, bool binary,
                                int linesPerFile) {
    // The session held only its latest records: the streamed files have them
    // all, and are read back one record at a time.
    std::vector<std::string> files;
    uint64_t records = 0;
    for (const QString& f : streamed) {
        files.push_back(path8(f));
        CsvLoadReport counted;
        if (!VRAXSensorData::countRecordsInCSV(files.back(), counted)) {
            MyTools::dispMessageOK(msg::liveSaveFailed(qs(counted.error) + "\n(" + f + ")"),
                                   msg::error());
            return std::nullopt;
        }
        records += counted.records;
    }
    if (files.empty()) {
        MyTools::dispMessageOK(msg::liveSaveFailed(msg::noLiveFile()), msg::error());
        return std::nullopt;
    }
    std::string readError;
    const VRAXSensorData::RecordRuns runs = VRAXSensorData::recordsOfCSVFiles(files, readError);
    std::string p = path8(path);
    std::vector<std::string> names;
    if (binary) {
        if (!p.ends_with(".bin")) p += ".bin";
        names = {p};
    } else {
        if (p.ends_with(".csv")) p.resize(p.size() - 4);  // the parts add their own endings
        names = VRAXSensorData::csvFileNames(p, linesPerFile, records);
    }
    // What lies under these names is the user's: replaced only when asked.
    QStringList existing;
    for (const std::string& n : names)
        if (fileio::exists(n)) existing << qs(n);
    safeout::Existing how = safeout::Existing::refuse;
    if (!existing.isEmpty()) {
        if (MyTools::askQuestion(msg::replaceFilesQuestion(existing), msg::warning(),
                                 msg::replaceFilesButtons()) != msg::kReplaceFiles)
            return std::nullopt;
        how = safeout::Existing::replace;
    }
    std::string error;
    QStringList written;
    if (binary) {
        if (!VRAXSensorData::saveBinFileFrom(runs, p, how, error)) {
            MyTools::dispMessageOK(msg::liveSaveFailed(qs(readError.empty() ? error : readError)),
                                   msg::error());
            return std::nullopt;
        }
        written << qs(p);
    } else {
        // The lines of the live file (and of downloads): every kind, qags included.
        CsvSaveOptions options;
        options.limitLines = linesPerFile;
        options.style = csv::LineStyle::streamed;
        options.existing = how;
        CsvSaveReport report;
        if (!VRAXSensorData::saveCSVFilesFrom(runs, records, p, options, report)) {
            MyTools::dispMessageOK(
                msg::liveSaveFailed(qs(readError.empty() ? report.error : readError)),
                msg::error());
            return std::nullopt;
        }
        for (const std::string& f : report.files) written << qs(f);
    }
    return written;
}

}  // namespace livesave
