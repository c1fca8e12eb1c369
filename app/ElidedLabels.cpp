#include "app/ElidedLabels.h"

#include <QApplication>
#include <QDateTime>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QUrl>
#include <algorithm>

namespace {

const QString kEllipsis = QStringLiteral("…");
// Rich text is laid out a little wider than the font's advances say.
constexpr int kSlack = 4;
// The widest a label asks to be; wider paths are cut to fit.
constexpr int kWidestHint = 420;

int roomOf(const QLabel* label) {
    return std::max(0, label->contentsRect().width() - 2 * label->margin() - kSlack);
}

QString link(const QString& folder, const QString& text) {
    return QStringLiteral("<a href=\"%1\">%2</a>")
        .arg(QUrl::fromLocalFile(folder).toString(QUrl::FullyEncoded), text.toHtmlEscaped());
}

}  // namespace

// ---- ElidedLabel -------------------------------------------------------------

ElidedLabel::ElidedLabel(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
}

void ElidedLabel::setFullText(const QString& text) {
    full = text;
    setToolTip(text);
    relayout();
    updateGeometry();
}

QSize ElidedLabel::minimumSizeHint() const {
    const QFontMetrics fm(font());
    return {fm.horizontalAdvance(kEllipsis) * 4 + 2 * margin(), QLabel::minimumSizeHint().height()};
}

QSize ElidedLabel::sizeHint() const {
    const QFontMetrics fm(font());
    const int width = fm.horizontalAdvance(full) + 2 * margin() + kSlack;
    return {std::min(width, kWidestHint), QLabel::sizeHint().height()};
}

void ElidedLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    relayout();
}

void ElidedLabel::relayout() {
    setText(QFontMetrics(font()).elidedText(full, Qt::ElideMiddle, roomOf(this)));
}

// ---- PathLabel -------------------------------------------------------------------

PathLabel::PathLabel(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::RichText);
    setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    connect(this, &QLabel::linkActivated, this,
            [this](const QString& url) { activate(QUrl(url).toLocalFile()); });
}

void PathLabel::setPath(const QString& path) {
    full = path;
    setToolTip(path);
    relayout();
    updateGeometry();
}

QSize PathLabel::minimumSizeHint() const {
    const QFontMetrics fm(font());
    return {
        fm.horizontalAdvance(kEllipsis + QStringLiteral("/") + kEllipsis) + 2 * margin() + kSlack,
        QLabel::minimumSizeHint().height()};
}

QSize PathLabel::sizeHint() const {
    const QFontMetrics fm(font());
    const int width = fm.horizontalAdvance(full) + 2 * margin() + kSlack;
    return {std::min(width, kWidestHint), QLabel::sizeHint().height()};
}

void PathLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    relayout();
}

void PathLabel::mouseDoubleClickEvent(QMouseEvent* event) {
    QLabel::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton && !full.isEmpty()) activate(full);
}

void PathLabel::activate(const QString& folder) {
    // The clicks of one double-click can reach here up to three times (the
    // link on each release, the double-click itself): the folder opens once.
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (lastActivation >= 0 && now - lastActivation < QApplication::doubleClickInterval()) return;
    lastActivation = now;
    if (!folder.isEmpty()) Q_EMIT folderActivated(folder);
}

void PathLabel::relayout() {
    if (full.isEmpty()) {
        setText({});
        return;
    }
    const QStringList parts = full.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QStringList folders;  // the folder each part names
    QString sofar;
    for (const QString& part : parts) {
        sofar += QLatin1Char('/') + part;
        folders << sofar;
    }
    const QFontMetrics fm(font());
    const int room = roomOf(this);
    const QString slash = QStringLiteral("/");

    const int n = int(parts.size());
    if (n == 0) {
        setText(link(slash, slash));  // the root itself
        return;
    }
    // The root and every folder when they fit; else "…" for the outer ones,
    // as few as possible.
    const auto plainFrom = [&](int first) {
        return (first > 0 ? kEllipsis + slash : slash) + parts.mid(first).join(slash);
    };
    int first = 0;
    while (first < n - 1 && fm.horizontalAdvance(plainFrom(first)) > room) ++first;
    const bool tooWide = fm.horizontalAdvance(plainFrom(first)) > room;
    QString html = first > 0 ? kEllipsis + slash : link(slash, slash);
    for (int i = first; i < n; ++i) {
        QString text = parts[i];
        // Only the innermost folder is left and it is still too wide: cut it too.
        if (tooWide)
            text =
                fm.elidedText(text, Qt::ElideMiddle,
                              room - fm.horizontalAdvance(first > 0 ? kEllipsis + slash : slash));
        html += (i > first ? slash : QString()) + link(folders[i], text);
    }
    setText(html);
}
