// The application's delegate: its data folder with one XML store file, the
// undo stack of the window, saving, and the question at quit time.
#pragma once

#include <QObject>
#include <QString>
#include <QUndoStack>
#include <functional>
#include <memory>

// The application's persistent objects, kept in one XML file. No entity is
// used yet: the store holds its format version and nothing else.
class ManagedObjectContext {
  public:
    explicit ManagedObjectContext(QString storeFile) : file(std::move(storeFile)) {}

    const QString& storeFile() const { return file; }
    QUndoStack* undoManager() { return &undo; }
    bool commitEditing() { return true; }
    bool hasChanges() const { return !undo.isClean(); }
    // Writes the store file; false with `error` set when it cannot be written.
    bool save(QString& error);
    // Reads an existing store file; false with `error` for a foreign or broken one.
    bool load(QString& error);

  private:
    QString file;
    QUndoStack undo;
};

class AppDelegate : public QObject {
    Q_OBJECT
  public:
    enum class TerminateReply { terminateNow, terminateCancel };

    // `dataFolder` empty: the user's application-data folder.
    explicit AppDelegate(QString dataFolder = {}, QObject* parent = nullptr);
    ~AppDelegate() override;

    void applicationDidFinishLaunching() {}
    QString applicationFilesDirectory() const { return folder; }
    // Created on first use; null (after telling the user) when the store
    // cannot be set up. The next call tries again.
    ManagedObjectContext* managedObjectContext();
    QUndoStack* windowWillReturnUndoManager();
    void saveAction();
    TerminateReply applicationShouldTerminate();

    static constexpr const char* kStoreFileName = "VRAXDataController.storedata";
    static constexpr const char* kErrorDomain = "YOUR_ERROR_DOMAIN";

  private:
    bool persistentStoreCoordinator(QString& storePath);
    void presentError(const QString& description, const QString& reason = {});

    QString folder;
    std::unique_ptr<ManagedObjectContext> context;
};
