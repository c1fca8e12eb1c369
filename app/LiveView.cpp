#include "app/LiveView.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <iterator>

#include "preview/LiveCharts.h"
#include "preview/SharedLiveCharts.h"

namespace {

constexpr int kWindowChoices[] = {5, 10, 30, 60};

}  // namespace

LiveView::LiveView(QWidget* parent) : QWidget(parent) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    auto* liveRow = new QHBoxLayout;
    live = new QPushButton(QStringLiteral("&Live"), this);
    stop = new QPushButton(QStringLiteral("S&top"), this);
    windowChoice = new QComboBox(this);
    windowChoice->setObjectName(QStringLiteral("windowChoice"));
    for (int s : kWindowChoices) windowChoice->addItem(QStringLiteral("%1 s").arg(s), s);
    windowChoice->setCurrentIndex(1);
    lines = new QSpinBox(this);
    lines->setObjectName(QStringLiteral("linesPerFile"));
    lines->setRange(0, 100'000'000);
    lines->setValue(0);
    lines->setSpecialValueText(QStringLiteral("one file"));
    saveAs = new QPushButton(QStringLiteral("Save &As…"), this);
    mark = new QPushButton(QStringLiteral("Mark"), this);
    mark->setObjectName(QStringLiteral("markButton"));
    mark->setToolTip(QStringLiteral("Add a marker now (key M); type its label and press Enter"));
    markerLabel = new QLineEdit(this);
    markerLabel->setObjectName(QStringLiteral("markerLabel"));
    markerLabel->setPlaceholderText(QStringLiteral("Marker label (Enter)"));
    markerLabel->setMaxLength(200);
    markerLabel->hide();
    liveRow->addWidget(live);
    liveRow->addWidget(stop);
    liveRow->addWidget(mark);
    liveRow->addWidget(markerLabel);
    liveRow->addWidget(new QLabel(QStringLiteral("Window:"), this));
    liveRow->addWidget(windowChoice);
    componentLabel = new QLabel(QStringLiteral("Show:"), this);
    componentChoice = new QComboBox(this);
    componentChoice->setObjectName(QStringLiteral("componentChoice"));
    componentChoice->addItem(QStringLiteral("All components"), -1);
    componentChoice->addItem(QStringLiteral("1st (x)"), 0);
    componentChoice->addItem(QStringLiteral("2nd (y)"), 1);
    componentChoice->addItem(QStringLiteral("3rd (z)"), 2);
    componentChoice->addItem(QStringLiteral("4th"), 3);
    liveRow->addWidget(componentLabel);
    liveRow->addWidget(componentChoice);
    componentLabel->hide();
    componentChoice->hide();
    liveRow->addStretch();
    liveRow->addWidget(new QLabel(QStringLiteral("Lines per file:"), this));
    liveRow->addWidget(lines);
    liveRow->addWidget(saveAs);
    column->addLayout(liveRow);
    ratesLabel = new QLabel(this);
    ratesLabel->setObjectName(QStringLiteral("ratesLabel"));
    ratesLabel->setWordWrap(true);
    column->addWidget(ratesLabel);
    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    chartPages = new QStackedWidget(scroll);
    liveCharts = new preview::LiveCharts(chartPages);
    shared = new preview::SharedLiveCharts(chartPages);
    chartPages->addWidget(liveCharts);
    chartPages->addWidget(shared);
    scroll->setWidget(chartPages);
    column->addWidget(scroll, 1);
    connect(componentChoice, &QComboBox::currentIndexChanged, this,
            [this] { shared->setComponent(componentChoice->currentData().toInt()); });
    connect(windowChoice, &QComboBox::currentIndexChanged, this, [this] {
        drawCursor = 0;  // a longer window starts before the last one
        Q_EMIT windowChanged();
    });
}

int LiveView::windowSeconds() const {
    return windowChoice->currentData().toInt();
}

void LiveView::setWindowSeconds(int seconds) {
    const int i = windowChoice->findData(seconds);
    if (i >= 0) windowChoice->setCurrentIndex(i);
}

int LiveView::longestWindowSeconds() {
    return *std::max_element(std::begin(kWindowChoices), std::end(kWindowChoices));
}

int LiveView::linesPerFile() const {
    return lines->value();
}

void LiveView::setLinesPerFile(int n) {
    lines->setValue(n);
}

void LiveView::restart() {
    chartPages->setCurrentWidget(liveCharts);
    componentLabel->hide();
    componentChoice->hide();
    liveCharts->clear();
    ratesLabel->setTextFormat(Qt::PlainText);
    ratesLabel->clear();
    drawCursor = 0;
}

void LiveView::restartShared(size_t sensors) {
    chartPages->setCurrentWidget(shared);
    componentLabel->show();
    componentChoice->show();
    shared->start(sensors);
    ratesLabel->setTextFormat(Qt::RichText);
    ratesLabel->clear();
}

void LiveView::drawShared(const std::vector<preview::LiveSource>& sources, int64_t endUtcMs) {
    shared->showWindow(sources, endUtcMs, uint64_t(windowSeconds()) * 1000);
}

void LiveView::setLegend(const QString& html) {
    ratesLabel->setText(html);
}

void LiveView::showProgress(const session::LiveProgress& p) {
    QStringList parts;
    const QLocale locale = QLocale::c();
    for (const measure::Kind kind : measure::kKindsInOrder) {
        const size_t k = size_t(kind);
        if (p.recordsPerKind[k] == 0) continue;
        parts << QStringLiteral("%1 %2/s (%3)")
                     .arg(QString::fromLatin1(measure::kindKey(kind)))
                     .arg(p.ratePerKind[k], 0, 'f', 1)
                     .arg(locale.toString(qulonglong(p.recordsPerKind[k])));
    }
    if (p.batteryVoltage > 0)
        parts << QStringLiteral("Battery %1 V").arg(double(p.batteryVoltage), 0, 'f', 2);
    parts << QStringLiteral("%1 s, %2 records")
                 .arg(p.elapsed, 0, 'f', 1)
                 .arg(locale.toString(qulonglong(p.records)));
    ratesLabel->setText(parts.join(QStringLiteral("  ·  ")));
}

void LiveView::draw(session::SensorSession& s) {
    const uint64_t windowMs = uint64_t(windowSeconds()) * 1000;
    VRAXSensor& sensorObject = s.sensor();
    const VRAXSensorData& store = sensorObject.getSensorDataObject();
    if (store.count() == 0) {
        liveCharts->showEmpty(windowMs);
        return;
    }
    if (drawCursor >= store.count()) drawCursor = 0;
    const uint64_t end = sensorObject.getPassedMSTimeLastSample();
    uint64_t from = 0, last = 0;
    if (sensorObject.scanDrawIndexFrom(from, last, windowMs, end, drawCursor)) {
        drawCursor = from;
        liveCharts->showRange(store, from, last, end - uint64_t(sensorObject.timeOffset()),
                              windowMs);
    } else {
        liveCharts->showEmpty(windowMs);
    }
}
