#include "app/AppDelegate.h"

#include <syslog.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include "app/MyTools.h"
#include "store/SafeOutput.h"

namespace {

void logLine(const QString& text) {
    static const bool opened = [] {
        openlog("VRAXDataController", LOG_PID, LOG_USER);
        return true;
    }();
    (void)opened;
    syslog(LOG_WARNING, "%s", text.toUtf8().constData());
}

}  // namespace

bool ManagedObjectContext::save(QString& error) {
    // Composed in memory, then written whole: the store file on disk is
    // either the old one or the new one, never a torn one.
    QByteArray bytes;
    QXmlStreamWriter xml(&bytes);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("database"));
    xml.writeAttribute(QStringLiteral("version"), QStringLiteral("1"));
    xml.writeEndElement();
    xml.writeEndDocument();
    if (xml.hasError()) {
        error = QStringLiteral("The store could not be composed.");
        return false;
    }
    std::string why;
    if (!safeout::writeWholeFile(QFile::encodeName(file).toStdString(),
                                 std::string(bytes.constData(), size_t(bytes.size())),
                                 safeout::Existing::replace, why)) {
        error = QString::fromStdString(why);
        return false;
    }
    undo.setClean();
    return true;
}

bool ManagedObjectContext::load(QString& error) {
    QFile in(file);
    if (!in.exists()) return true;  // a new store
    if (!in.open(QIODevice::ReadOnly)) {
        error = in.errorString();
        return false;
    }
    QXmlStreamReader xml(&in);
    if (!xml.readNextStartElement() || xml.name() != QLatin1String("database")) {
        error = QStringLiteral("%1 is not a store file of this application.").arg(file);
        return false;
    }
    xml.skipCurrentElement();
    if (xml.hasError()) {
        error = xml.errorString();
        return false;
    }
    return true;
}

AppDelegate::AppDelegate(QString dataFolder, QObject* parent)
    : QObject(parent), folder(std::move(dataFolder)) {
    if (folder.isEmpty())
        folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

AppDelegate::~AppDelegate() = default;

void AppDelegate::presentError(const QString& description, const QString& reason) {
    MyTools::dispMessageOK(
        reason.isEmpty() ? description : description + QLatin1Char('\n') + reason,
        QStringLiteral("Error"));
}

bool AppDelegate::persistentStoreCoordinator(QString& storePath) {
    const QFileInfo info(folder);
    if (!info.exists()) {
        if (!QDir().mkpath(folder)) {
            presentError(QStringLiteral("The folder %1 could not be created.").arg(folder));
            return false;
        }
    } else if (!info.isDir()) {
        presentError(
            QStringLiteral("Expected a folder to store application data, found a file (%1).")
                .arg(folder));
        return false;
    }
    storePath = QDir(folder).filePath(QString::fromLatin1(kStoreFileName));
    return true;
}

ManagedObjectContext* AppDelegate::managedObjectContext() {
    if (context) return context.get();
    QString storePath;
    if (!persistentStoreCoordinator(storePath)) {
        presentError(QStringLiteral("Failed to initialize the store"),
                     QStringLiteral("There was an error building up the data file."));
        return nullptr;
    }
    auto made = std::make_unique<ManagedObjectContext>(storePath);
    QString error;
    if (!made->load(error)) {
        presentError(error);
        presentError(QStringLiteral("Failed to initialize the store"),
                     QStringLiteral("There was an error building up the data file."));
        return nullptr;
    }
    context = std::move(made);
    return context.get();
}

QUndoStack* AppDelegate::windowWillReturnUndoManager() {
    ManagedObjectContext* c = managedObjectContext();
    return c ? c->undoManager() : nullptr;
}

void AppDelegate::saveAction() {
    ManagedObjectContext* c = managedObjectContext();
    if (!c) return;
    if (!c->commitEditing())
        logLine(QStringLiteral("AppDelegate:saveAction: unable to commit editing before saving"));
    QString error;
    if (!c->save(error)) presentError(error);
}

AppDelegate::TerminateReply AppDelegate::applicationShouldTerminate() {
    if (!context) return TerminateReply::terminateNow;
    if (!context->commitEditing()) {
        logLine(QStringLiteral(
            "AppDelegate:applicationShouldTerminate: unable to commit editing to terminate"));
        return TerminateReply::terminateCancel;
    }
    if (!context->hasChanges()) return TerminateReply::terminateNow;
    QString error;
    if (context->save(error)) return TerminateReply::terminateNow;
    presentError(error);
    const int answer = MyTools::askQuestion(
        QCoreApplication::translate("AppDelegate",
                                    "Quitting now will lose any changes you have made "
                                    "since the last successful save"),
        QCoreApplication::translate("AppDelegate",
                                    "Could not save changes while quitting. Quit anyway?"),
        {QCoreApplication::translate("AppDelegate", "Quit anyway"),
         QCoreApplication::translate("AppDelegate", "Cancel")});
    return answer == 0 ? TerminateReply::terminateNow : TerminateReply::terminateCancel;
}
