#include "preview/PreviewWindow.h"

#include <QApplication>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "preview/PlotView.h"
#include "preview/PreviewTexts.h"

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
        // The hint gives way (cut at the right) when the window is narrow.
        auto* hint = new QLabel(QString::fromUtf8(text::kHint), this);
        hint->setEnabled(false);
        hint->setToolTip(hint->text());
        hint->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        top->addWidget(hint, 1);
        auto* reset = new QPushButton(QString::fromUtf8(text::kShowAll), this);
        reset->setObjectName(QStringLiteral("resetZoomButton"));
        connect(reset, &QPushButton::clicked, this, &PreviewWindow::resetZoom);
        top->addWidget(reset);
        for (const QKeySequence& keys :
             {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)}) {
            auto* shortcut = new QShortcut(keys, this);
            connect(shortcut, &QShortcut::activated, this, &QWidget::close);
        }
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
        connect(view, &PlotView::plotAreaChanged, this, &PreviewWindow::scheduleAlign);
        column->addWidget(view);
        plotViews.append(view);
    }
    if (scrolling) {
        auto* scroll = new QScrollArea(this);
        scroll->setWidgetResizable(true);
        scroll->setWidget(charts);
        layout->addWidget(scroll, 1);
        resize(fittingSize(
            QSize(1000, std::min(int(plotViews.size()), 3) * (kChartHeight + 8) + 60), parent));
    } else {
        charts->setParent(this);
        layout->addWidget(charts, 1);
    }
}

QSize PreviewWindow::fittingSize(QSize wanted, QWidget* parent) {
    QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    if (!screen) return wanted;
    QSize room = screen->availableGeometry().size();
    // The window manager's frame comes on top; a shown parent tells its size.
    if (parent && parent->window()->isVisible())
        room -= parent->window()->frameGeometry().size() - parent->window()->geometry().size();
    return wanted.boundedTo(room);
}

PreviewWindow* PreviewWindow::openFile(const QString& path, QWidget* parent, QString& error) {
    PlotData data;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const LoadFailure failure = loadPlotFile(path.toStdString(), data);
    QApplication::restoreOverrideCursor();
    if (failure != LoadFailure::none) {
        error = QString::fromStdString(loadFailureMessage(failure, path.toStdString()));
        return nullptr;
    }
    auto* w = new PreviewWindow(std::move(data), QFileInfo(path).fileName(), parent);
    w->setAttribute(Qt::WA_DeleteOnClose);
    return w;
}

QString PreviewWindow::statusText() const {
    QString status = QString::fromUtf8(text::kStatus)
                         .arg(qulonglong(plotData.records))
                         .arg(plotData.duration, 0, 'f', 3)
                         .arg(plotData.missingStretches);
    if (plotData.skippedLines > 0)
        status += QString::fromUtf8(text::kStatusSkipped).arg(qulonglong(plotData.skippedLines));
    return status;
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
