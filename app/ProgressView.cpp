#include "app/ProgressView.h"

#include <QEvent>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

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
    progressBar = new QProgressBar(box);
    progressBar->setObjectName(QStringLiteral("progressBar"));
    auto* buttons = new QHBoxLayout;
    cancelDownloadButton = new QPushButton(tr("Cancel"), box);
    cancelDownloadButton->setObjectName(QStringLiteral("cancelDownloadButton"));
    graphButton = new QPushButton(QStringLiteral("グラフ表示"), box);
    graphButton->setObjectName(QStringLiteral("previewButton"));
    graphButton->hide();
    dlFinButton = new QPushButton(QStringLiteral("OK"), box);
    dlFinButton->setObjectName(QStringLiteral("dlFinButton"));
    buttons->addStretch();
    buttons->addWidget(cancelDownloadButton);
    buttons->addWidget(graphButton);
    buttons->addWidget(dlFinButton);
    layout->addWidget(progressMessageMainLabel);
    layout->addWidget(progressMessageLabel);
    layout->addWidget(noteMessageLabel);
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
        emit cancelRequested();
    });
    connect(dlFinButton, &QPushButton::clicked, this, &ProgressView::finished);
    connect(graphButton, &QPushButton::clicked, this, &ProgressView::previewRequested);

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
    showOver();
}

void ProgressView::setCount(quint64 count) {
    records = count;
    progressMessageLabel->setText(msg::counter(count));
    if (expectedRecords > 0)
        progressBar->setValue(int(std::min<quint64>(count, quint64(expectedRecords))));
}

void ProgressView::showWriteFailure(const QString& why) {
    setNote(msg::writeFailing(why));
}

void ProgressView::finish(bool complete, bool previewAvailable, const QString& note) {
    current = State::finished;
    cancelDownloadButton->setEnabled(false);
    cancelDownloadButton->hide();
    dlFinButton->setEnabled(true);
    graphButton->setVisible(complete && previewAvailable);
    progressMessageMainLabel->setText(complete ? msg::downloadDone() : msg::downloadStopped());
    setNote(note);
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

bool ProgressView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parentWidget() && event->type() == QEvent::Resize)
        setGeometry(parentWidget()->rect());
    return QWidget::eventFilter(watched, event);
}
