#include "preview/PreviewWindow.h"

#include <QApplication>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "preview/PlotView.h"

namespace preview {

PreviewWindow::PreviewWindow(PlotData data, const QString& title, QWidget* parent, bool scrolling)
    : QWidget(parent, parent ? Qt::Window : Qt::WindowFlags()), plotData(std::move(data)) {
    setObjectName(QStringLiteral("previewWindow"));
    setWindowTitle(title);
    auto* layout = new QVBoxLayout(this);

    auto* top = new QHBoxLayout;
    statusLine = new QLabel(statusText(), this);
    statusLine->setObjectName(QStringLiteral("statusLine"));
    top->addWidget(statusLine, 1);
    if (scrolling) {
        auto* hint =
            new QLabel(tr("Drag: zoom in · wheel: zoom · middle button or Ctrl-drag: pan · "
                          "double-click: all · legend: show or hide"),
                       this);
        hint->setEnabled(false);
        top->addWidget(hint);
        auto* reset = new QPushButton(tr("Show All"), this);
        reset->setObjectName(QStringLiteral("resetZoomButton"));
        connect(reset, &QPushButton::clicked, this, &PreviewWindow::resetZoom);
        top->addWidget(reset);
    }
    layout->addLayout(top);

    auto* charts = new QWidget;
    auto* column = new QVBoxLayout(charts);
    column->setContentsMargins(0, 0, 0, 0);
    for (const Chart& c : plotData.charts) {
        auto* view = new PlotView(c, 0.0, plotData.duration, charts);
        view->setMinimumHeight(kChartHeight);
        connect(view, &PlotView::timeRangeChanged, this,
                [this, view](double t0, double t1) { syncTimeRange(view, t0, t1); });
        connect(view, &PlotView::redrawn, this, &PreviewWindow::scheduleAlign);
        column->addWidget(view);
        plotViews.append(view);
    }
    if (scrolling) {
        auto* scroll = new QScrollArea(this);
        scroll->setWidgetResizable(true);
        scroll->setWidget(charts);
        layout->addWidget(scroll, 1);
        resize(1000, std::min(int(plotViews.size()), 3) * (kChartHeight + 8) + 60);
    } else {
        charts->setParent(this);
        layout->addWidget(charts, 1);
    }
}

PreviewWindow* PreviewWindow::openFile(const QString& path, QWidget* parent, QString& error) {
    PlotData data;
    std::string why;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool ok = loadPlotFile(path.toStdString(), data, why);
    QApplication::restoreOverrideCursor();
    if (!ok) {
        error = QString::fromStdString(why);
        return nullptr;
    }
    auto* w = new PreviewWindow(std::move(data), QFileInfo(path).fileName(), parent);
    w->setAttribute(Qt::WA_DeleteOnClose);
    return w;
}

QString PreviewWindow::statusText() const {
    QString text = QStringLiteral("%L1 records · %2 s · 欠損 %3 箇所")
                       .arg(qulonglong(plotData.records))
                       .arg(plotData.duration, 0, 'f', 3)
                       .arg(plotData.missingStretches);
    if (plotData.skippedLines > 0)
        text += QStringLiteral(" · 読み取れない行 %L1").arg(qulonglong(plotData.skippedLines));
    return text;
}

void PreviewWindow::resetZoom() {
    for (PlotView* v : plotViews) v->resetZoom();
}

void PreviewWindow::redrawAll() {
    for (PlotView* v : plotViews) v->redraw();
    QApplication::processEvents();  // lays the charts out for their new labels
    alignPlotAreas();
}

void PreviewWindow::scheduleAlign() {
    if (alignPending) return;
    alignPending = true;
    QTimer::singleShot(0, this, [this] {
        alignPending = false;
        alignPlotAreas();
    });
}

void PreviewWindow::alignPlotAreas() {
    if (plotViews.isEmpty()) return;
    double left = 0, right = 1e9;
    for (PlotView* v : plotViews) {
        left = std::max(left, v->naturalLeft());
        right = std::min(right, v->naturalRight());
    }
    for (PlotView* v : plotViews)
        v->setAlignment(std::round(left - v->naturalLeft()), std::round(v->naturalRight() - right));
}

void PreviewWindow::syncTimeRange(PlotView* from, double t0, double t1) {
    if (syncing) return;  // the ranges set below report back here
    syncing = true;
    for (PlotView* v : plotViews)
        if (v != from) v->setTimeRange(t0, t1);
    syncing = false;
}

QImage renderPreview(const PlotData& data, const QString& title, int width, int chartHeight) {
    PreviewWindow w(data, title, nullptr, false);
    w.setAttribute(Qt::WA_DontShowOnScreen);
    for (PlotView* v : w.views()) v->setMinimumHeight(chartHeight);
    w.resize(width, int(w.views().size()) * (chartHeight + 6) + 40);
    w.show();
    QApplication::processEvents();
    w.redrawAll();
    QApplication::processEvents();
    return w.grab().toImage();
}

}  // namespace preview
