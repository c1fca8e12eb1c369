// The overlay shown over the window during a download: it darkens what lies
// below to 30 % and holds the download's labels and buttons.
#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;

class ProgressView : public QWidget {
    Q_OBJECT
  public:
    explicit ProgressView(QWidget* parent);

    QLabel* mainLabel() const { return progressMessageMainLabel; }
    QLabel* counterLabel() const { return progressMessageLabel; }
    // A line under the counter: where the file went, or what goes wrong
    // with it. Hidden while empty.
    QLabel* noteLabel() const { return noteMessageLabel; }
    void setNote(const QString& text);
    QProgressBar* bar() const { return progressBar; }
    QPushButton* finishButton() const { return dlFinButton; }
    QPushButton* cancelButton() const { return cancelDownloadButton; }
    // Opens the plot preview of the finished download.
    QPushButton* previewButton() const { return graphButton; }

    // Shows the overlay over the whole of its parent and keeps it there.
    void showOver();

  protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QLabel* progressMessageMainLabel;
    QLabel* progressMessageLabel;
    QLabel* noteMessageLabel;
    QProgressBar* progressBar;
    QPushButton* dlFinButton;
    QPushButton* cancelDownloadButton;
    QPushButton* graphButton;
};
