// Labels that show a path in the width they are given, whatever its length:
// the whole path is in the tooltip, and the label never asks the window for
// more room than a few characters.
#pragma once

#include <QLabel>
#include <QString>

// Plain text cut in the middle with "…" to the label's width.
class ElidedLabel : public QLabel {
    Q_OBJECT
  public:
    explicit ElidedLabel(QWidget* parent = nullptr);
    void setFullText(const QString& text);
    QString fullText() const { return full; }
    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void relayout();
    QString full;
};

// A folder path with one link per folder ("/" is the root's), cut from the
// left with "…" so that the innermost folders stay in sight.
class PathLabel : public QLabel {
    Q_OBJECT
  public:
    explicit PathLabel(QWidget* parent = nullptr);
    void setPath(const QString& path);
    QString path() const { return full; }
    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

  Q_SIGNALS:
    // A folder's link was clicked, or the path double-clicked (the whole
    // folder). A double-click on a link opens its folder once.
    void folderActivated(const QString& folder);

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    void relayout();
    void activate(const QString& folder);
    QString full;
    qint64 lastActivation = -1;  // ms since epoch
};
