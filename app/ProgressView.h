// The overlay shown over the window during a download: it darkens what lies
// below to 30 % and shows how the transfer goes. The controller tells it what
// happens (a transfer begins, records arrive, the transfer ends) and hears
// back through its signals what the user pressed.
#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;
class ElidedLabel;

class ProgressView : public QWidget {
    Q_OBJECT
  public:
    enum class State {
        idle,          // hidden
        transferring,  // covers the window; only Cancel can be pressed
        finished,      // covers the window until OK is pressed
    };

    explicit ProgressView(QWidget* parent);

    State state() const { return current; }
    // Records counted so far, and the count expected (0 or less: not known).
    quint64 count() const { return records; }
    qint64 expected() const { return expectedRecords; }

    // A transfer of `expected` records has begun: the overlay covers the
    // window and its counter waits for the first count.
    void beginTransfer(qint64 expected);
    // The records that have arrived so far.
    void setCount(quint64 records);
    // Once writing the file has failed: the lines the file holds, beside
    // the records that have arrived.
    void setCountInFile(quint64 lines, quint64 records);
    // A line under the counter: where the file went, or what goes wrong
    // with it. Hidden while empty.
    void setNote(const QString& text);
    // Writing the file fails while the transfer goes on.
    void showWriteFailure(const QString& why);
    // The transfer has ended, with the whole entry in its file (`complete`)
    // or not. The preview is offered for a complete one when available. A
    // file that was kept is named (the whole path in its tooltip) and its
    // folder can be opened. Escape or Return then closes the overlay.
    void finish(bool complete, bool previewAvailable, const QString& note,
                const QString& filePath = {});
    // Back to idle: the overlay goes away.
    void dismiss();

  Q_SIGNALS:
    void cancelRequested();
    // OK pressed on a finished transfer.
    void finished();
    void previewRequested();
    void openFolderRequested(const QString& folder);

  protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    // Shows the overlay over the whole of its parent and keeps it there.
    void showOver();

    State current = State::idle;
    quint64 records = 0;
    qint64 expectedRecords = -1;

    QLabel* progressMessageMainLabel;
    QLabel* progressMessageLabel;
    QLabel* noteMessageLabel;
    ElidedLabel* fileLabel;
    QString keptFile;
    QProgressBar* progressBar;
    QPushButton* dlFinButton;
    QPushButton* cancelDownloadButton;
    QPushButton* graphButton;
    QPushButton* openFolderButton;
};
