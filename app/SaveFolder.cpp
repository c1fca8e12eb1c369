#include "app/SaveFolder.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QUrl>

#include "app/ElidedLabels.h"
#include "app/Messages.h"
#include "app/MyTools.h"

namespace {

// A folder is writable when a file can really be made in it.
bool folderWritable(const QString& path) {
    if (!QFileInfo(path).isDir()) return false;
    QTemporaryFile probe(QDir(path).filePath(QStringLiteral(".vrax-write-test-XXXXXX")));
    return probe.open();
}

}  // namespace

SaveFolder::SaveFolder(PathLabel* label, QWidget* window, QObject* parent)
    : QObject(parent), label(label), window(window) {
    connect(label, &PathLabel::folderActivated, this, &SaveFolder::openFolder);
}

QString SaveFolder::documents() {
    const QString path = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return path.isEmpty() ? QDir::homePath() : path;
}

void SaveFolder::setPath(const QString& path) {
    folder = QDir::cleanPath(path);
    // One link per folder of the path; a click opens that folder.
    label->setPath(folder);
}

void SaveFolder::choose() {
    auto* panel = new QFileDialog(window, msg::saveFolderPanelTitle());
    panel->setObjectName(QStringLiteral("saveFolderPanel"));
    panel->setFileMode(QFileDialog::Directory);
    panel->setOption(QFileDialog::ShowDirsOnly, true);
    panel->setOption(QFileDialog::DontResolveSymlinks, false);
    panel->setOption(QFileDialog::DontUseNativeDialog, true);
    panel->setDirectory(folder);
    panel->setLabelText(QFileDialog::Accept, msg::saveFolderPanelAccept());
    panel->setWindowModality(Qt::WindowModal);
    panel->setAttribute(Qt::WA_DeleteOnClose);
    connect(panel, &QFileDialog::finished, this, [this, panel](int result) {
        panel->hide();
        panelDidEnd(panel->selectedFiles(), result);
    });
    panel->open();
}

void SaveFolder::panelDidEnd(const QStringList& chosenFolders, int returnCode) {
    if (returnCode != QDialog::Accepted || chosenFolders.isEmpty()) return;
    const QString chosen = chosenFolders.first();
    if (folderWritable(chosen))
        setPath(chosen);
    else
        MyTools::dispMessageOK(msg::folderNotWritable(), msg::warning());
}

void SaveFolder::openFolder(const QString& folder) {
    if (folder.isEmpty()) return;
    if (!MyTools::openUrl(QUrl::fromLocalFile(folder)))
        MyTools::dispMessageOK(msg::cannotOpenFolder(folder), msg::warning());
}
