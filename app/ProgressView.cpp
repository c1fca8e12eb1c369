#include "app/ProgressView.h"

#include <QEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "app/ElidedLabels.h"
#include "app/Messages.h"

ProgressView::ProgressView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("progressView"));
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    auto* box = new QWidget(this);
    box->setObjectName(QStringLiteral("progressBox"));
    box->setStyleSheet(
        QStringLiteral("#progressBox { background: palette(window); border-radius: 6px; }"));
    auto* layout = new QVBoxLayout(box);
    progressMessageMainLabel = new QLabel(box);
    progressMessageMainLabel->setObjectName(QStringLiteral("progressMessageMainLabel"));
    progressMessageMainLabel->setAlignment(Qt::AlignCenter);
    QFont big = progressMessageMainLabel->font();
    big.setPointSizeF(big.pointSizeF() * 1.3);
    progressMessageMainLabel->setFont(big);
    progressMessageLabel = new QLabel(box);
    progressMessageLabel->setObjectName(QStringLiteral("progressMessageLabel"));
    progressMessageLabel->setAlignment(Qt::AlignCenter);
    noteMessageLabel = new QLabel(box);
    noteMessageLabel->setObjectName(QStringLiteral("noteMessageLabel"));
    noteMessageLabel->setAlignment(Qt::AlignCenter);
    noteMessageLabel->setWordWrap(true);
    noteMessageLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    noteMessageLabel->hide();
    fileLabel = new ElidedLabel(box);
    fileLabel->setObjectName(QStringLiteral("fileLabel"));
    fileLabel->setAlignment(Qt::AlignCenter);
    fileLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    fileLabel->hide();
    progressBar = new QProgressBar(box);
    progressBar->setObjectName(QStringLiteral("progressBar"));
    auto* buttons = new QHBoxLayout;
    cancelDownloadButton = new QPushButton(msg::cancelLabel(), box);
    cancelDownloadButton->setObjectName(QStringLiteral("cancelDownloadButton"));
    graphButton = new QPushButton(msg::previewLabel(), box);
    graphButton->setObjectName(QStringLiteral("previewButton"));
    graphButton->hide();
    openFolderButton = new QPushButton(msg::openFolderLabel(), box);
    openFolderButton->setObjectName(QStringLiteral("openFolderButton"));
    openFolderButton->hide();
    dlFinButton = new QPushButton(msg::okLabel(), box);
    dlFinButton->setObjectName(QStringLiteral("dlFinButton"));
    // Return presses the button that has the focus.
    for (QPushButton* b : {cancelDownloadButton, graphButton, openFolderButton, dlFinButton})
        b->setAutoDefault(true);
    buttons->addStretch();
    buttons->addWidget(openFolderButton);
    buttons->addWidget(cancelDownloadButton);
    buttons->addWidget(graphButton);
    buttons->addWidget(dlFinButton);
    layout->addWidget(progressMessageMainLabel);
    layout->addWidget(progressMessageLabel);
    layout->addWidget(noteMessageLabel);
    layout->addWidget(fileLabel);
    layout->addWidget(progressBar);
    layout->addLayout(buttons);
    box->setMinimumWidth(360);

    auto* outer = new QVBoxLayout(this);
    outer->addStretch();
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(box);
    row->addStretch();
    outer->addLayout(row);
    outer->addStretch();

    connect(cancelDownloadButton, &QPushButton::clicked, this, [this] {
        cancelDownloadButton->setEnabled(false);  // asked once; the transfer stops soon
        Q_EMIT cancelRequested();
    });
    connect(dlFinButton, &QPushButton::clicked, this, &ProgressView::finished);
    connect(graphButton, &QPushButton::clicked, this, &ProgressView::previewRequested);
    connect(openFolderButton, &QPushButton::clicked, this,
            [this] { Q_EMIT openFolderRequested(QFileInfo(keptFile).absolutePath()); });

    parent->installEventFilter(this);
    hide();
}

void ProgressView::beginTransfer(qint64 expected) {
    current = State::transferring;
    records = 0;
    expectedRecords = expected;
    progressMessageMainLabel->setText(msg::downloading());
    progressMessageLabel->setText(msg::counterUnknown());
    setNote({});
    // No known count: the bar runs as a busy indicator.
    progressBar->setRange(0, int(std::max<qint64>(expected, 0)));
    progressBar->setValue(0);
    dlFinButton->setEnabled(false);
    cancelDownloadButton->setEnabled(true);
    cancelDownloadButton->show();
    graphButton->hide();
    openFolderButton->hide();
    keptFile.clear();
    fileLabel->setFullText({});
    fileLabel->hide();
    showOver();
}

void ProgressView::setCount(quint64 count) {
    records = count;
    progressMessageLabel->setText(msg::counter(count));
    if (expectedRecords > 0)
        progressBar->setValue(int(std::min<quint64>(count, quint64(expectedRecords))));
}

void ProgressView::setCountInFile(quint64 lines, quint64 count) {
    setCount(count);
    progressMessageLabel->setText(msg::counterInFile(lines, count));
}

void ProgressView::showWriteFailure(const QString& why) {
    setNote(msg::writeFailing(why));
}

void ProgressView::finish(bool complete, bool previewAvailable, const QString& note,
                          const QString& filePath) {
    current = State::finished;
    cancelDownloadButton->setEnabled(false);
    cancelDownloadButton->hide();
    dlFinButton->setEnabled(true);
    graphButton->setVisible(complete && previewAvailable);
    progressMessageMainLabel->setText(complete ? msg::downloadDone() : msg::downloadStopped());
    setNote(note);
    keptFile = filePath;
    fileLabel->setFullText(filePath);
    fileLabel->setVisible(!filePath.isEmpty());
    openFolderButton->setVisible(!filePath.isEmpty());
    // Keys reach the overlay from here: Escape and Return close it.
    dlFinButton->setFocus(Qt::OtherFocusReason);
}

void ProgressView::dismiss() {
    current = State::idle;
    dlFinButton->setEnabled(false);
    hide();
}

void ProgressView::setNote(const QString& text) {
    noteMessageLabel->setText(text);
    noteMessageLabel->setVisible(!text.isEmpty());
}

void ProgressView::showOver() {
    setGeometry(parentWidget()->rect());
    raise();
    show();
    update();
}

void ProgressView::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.fillRect(event->rect(), QColor::fromRgbF(0, 0, 0, 0.7f));
}

void ProgressView::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (current == State::finished && (event->modifiers() & ~Qt::KeypadModifier) == 0 &&
        (key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter)) {
        Q_EMIT finished();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool ProgressView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parentWidget() && event->type() == QEvent::Resize)
        setGeometry(parentWidget()->rect());
    return QWidget::eventFilter(watched, event);
}
