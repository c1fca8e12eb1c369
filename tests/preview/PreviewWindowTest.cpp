// The preview window and the off-screen picture, on the offscreen platform,
// from a file written by the store's streamed save as a download writes it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>
#include <QtCharts/QCategoryAxis>
#include <QtCharts/QLegend>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <cmath>
#include <functional>
#include <memory>

#include "preview/PlotView.h"
#include "preview/PreviewWindow.h"
#include "store/VRAXSensorData.h"

namespace preview {
namespace {

bool waitFor(const std::function<bool()>& done, int ms = 3000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// 20 s of ags every 10 ms (acc x = the time in ms) with a hole from 8 to
// 10 s, and quaternions every 20 ms, as a download file.
std::string writeDownload() {
    const std::string path = testing::TempDir() + "/preview-download.csv";
    VRAXSensorData store;
    store.setSaveFilename(path);
    store.setSaveFlag();
    int32_t v[14] = {};
    for (int32_t ms = 0; ms <= 20000; ms += 10) {
        if (ms > 8000 && ms < 10000) continue;
        v[0] = ms, v[1] = -ms, v[2] = ms % 700;
        for (int k = 3; k < 10; ++k) v[k] = k * 1000 + (ms * k) % 900;  // tracks apart
        store.appendSensorData(uint64_t(ms), ags, v);
        if (ms % 20 == 0) store.appendSensorData(uint64_t(ms), qags, v);
    }
    EXPECT_EQ(store.finishSaveFile(true, safeout::Existing::replace).kind, SaveFileEnd::complete);
    return path;
}

// At least `least` tick labels, each matching `pattern`.
testing::AssertionResult allMatch(QCategoryAxis* axis, const QString& pattern, int least) {
    const QRegularExpression re(QRegularExpression::anchoredPattern(pattern));
    const QStringList labels = axis->categoriesLabels();
    bool ok = labels.size() >= least;
    for (const QString& label : labels) ok = ok && re.match(label).hasMatch();
    return (ok ? testing::AssertionSuccess() : testing::AssertionFailure())
           << labels.join(u' ').toStdString();
}

class PreviewWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        path = writeDownload();
        QString why;
        window.reset(PreviewWindow::openFile(QString::fromStdString(path), nullptr, why));
        ASSERT_TRUE(window) << why.toStdString();
        window->resize(900, 700);
        window->show();
        ASSERT_TRUE(waitFor([&] { return window->views().first()->pointCount() > 0; }));
    }
    std::string path;
    std::unique_ptr<PreviewWindow> window;
};

TEST_F(PreviewWindowTest, ChartsMoveTogetherAndRedrawForTheirRange) {
    EXPECT_EQ(window->statusText(),
              QStringLiteral("%L1 レコード，20.000 秒，欠損 1 箇所").arg(window->data().records));
    const QList<PlotView*> views = window->views();
    ASSERT_EQ(views.size(), 5);  // ags: 2 charts, qags: 3
    for (PlotView* v : views) {
        ASSERT_TRUE(waitFor([&] { return v->pointCount() > 0; })) << v->data().title;
        const int bound =
            int(v->data().tracks.size()) * 2 * (int(v->chart()->plotArea().width()) + 4);
        EXPECT_LE(v->pointCount(), bound) << v->data().title;
        EXPECT_EQ(v->segmentCount(0), 2) << v->data().title;  // broken at the hole
    }

    // Equal times sit one above the other, whatever the label widths (to
    // the pixel: margins are whole pixels).
    const auto aligned = [&] {
        const QRectF first = views[0]->chart()->plotArea();
        for (PlotView* v : views) {
            const QRectF area = v->chart()->plotArea();
            if (std::abs(area.left() - first.left()) > 1 ||
                std::abs(area.right() - first.right()) > 1)
                return false;
        }
        return true;
    };
    EXPECT_TRUE(waitFor(aligned));

    // The whole file: whole seconds on the time axis.
    EXPECT_TRUE(allMatch(views[0]->timeAxis(), QStringLiteral("\\d+"), 3));

    // Zooming one chart zooms all; the points are rebuilt from the samples.
    views[0]->setTimeRange(5.0, 6.0);
    ASSERT_TRUE(waitFor([&] { return views[0]->pointCount() == 3 * 103; }))
        << views[0]->pointCount();
    for (PlotView* v : views) {
        EXPECT_DOUBLE_EQ(v->timeFrom(), 5.0);
        EXPECT_DOUBLE_EQ(v->timeTo(), 6.0);
    }
    EXPECT_EQ(views[0]->segmentCount(0), 1);
    // Every time axis is labelled anew for the span, in tenths.
    for (PlotView* v : views) EXPECT_TRUE(allMatch(v->timeAxis(), QStringLiteral("[56]\\.\\d"), 3));
    EXPECT_TRUE(allMatch(views[0]->valueAxis(), QStringLiteral("-?\\d+"), 3));
    // Their labels changed width; the plot areas line up again.
    EXPECT_TRUE(waitFor(aligned));
    // The value axis fits what is in view: acc x runs 5000..6000 there, acc y
    // -6000..-5000.
    QValueAxis* y = views[0]->valueAxis();
    EXPECT_LT(y->min(), -6000);
    EXPECT_GT(y->min(), -7000);
    EXPECT_GT(y->max(), 6000);
    EXPECT_LT(y->max(), 7000);

    // A legend entry hides its track and stays, to show it again.
    QLineSeries* accY = nullptr;
    for (QAbstractSeries* s : views[0]->chart()->series())
        if (s->name() == QStringLiteral("acc y")) accY = static_cast<QLineSeries*>(s);
    ASSERT_TRUE(accY);
    QLegendMarker* marker = views[0]->chart()->legend()->markers(accY).first();
    Q_EMIT marker->clicked();
    EXPECT_FALSE(views[0]->trackVisible(1));
    EXPECT_FALSE(accY->isVisible());
    EXPECT_TRUE(marker->isVisible());
    EXPECT_GT(y->min(), -1000);  // fitted to the tracks still shown
    Q_EMIT marker->clicked();
    EXPECT_TRUE(accY->isVisible());
    EXPECT_LT(y->min(), 0);

    // Show All returns every chart to the whole file.
    window->findChild<QPushButton*>(QStringLiteral("resetZoomButton"))->click();
    for (PlotView* v : views) {
        EXPECT_DOUBLE_EQ(v->timeFrom(), 0.0);
        EXPECT_DOUBLE_EQ(v->timeTo(), 20.0);
    }
    ASSERT_TRUE(waitFor([&] { return views[0]->segmentCount(0) == 2; }));

    // The wheel zooms around the pointer, never out beyond the whole file.
    const QPointF middle = views[1]->chart()->plotArea().center();
    const double at = views[1]->chart()->mapToValue(middle).x();
    const auto wheel = [&](int delta) {
        QWheelEvent e(middle, views[1]->mapToGlobal(middle), QPoint(), QPoint(0, delta),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(views[1]->viewport(), &e);
    };
    wheel(120);
    EXPECT_NEAR(views[0]->timeTo() - views[0]->timeFrom(), 20.0 * 0.8, 1e-9);
    EXPECT_NEAR(views[1]->timeFrom(), at - at * 0.8, 1e-9);
    wheel(-120 * 5);
    EXPECT_DOUBLE_EQ(views[3]->timeFrom(), 0.0);
    EXPECT_DOUBLE_EQ(views[3]->timeTo(), 20.0);
}

TEST_F(PreviewWindowTest, PictureHoldsEveryChart) {
    const QImage picture = renderPreview(window->data(), QStringLiteral("test"), 800, 200);
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(picture.width(), 800);
    EXPECT_GE(picture.height(), 5 * 200);
    // The first track's colour is drawn in every chart's band.
    const QRgb firstTrack = qRgb(0x1f, 0x77, 0xb4);
    const int band = picture.height() / 5;
    for (int chart = 0; chart < 5; ++chart) {
        int drawn = 0;
        for (int y = chart * band; y < (chart + 1) * band; ++y)
            for (int x = 0; x < picture.width(); ++x)
                drawn += (picture.pixel(x, y) & 0xFFFFFF) == (firstTrack & 0xFFFFFF);
        EXPECT_GT(drawn, 200) << "chart " << chart;
    }
}

// Values in the millions get scaled labels; lines left out show in the
// status line, still all Japanese.
TEST_F(PreviewWindowTest, LargeValuesAndLinesLeftOut) {
    PlotData data = window->data();
    data.skippedLines = 3;
    for (float& v : data.charts[0].tracks[0].values) v *= -100;  // acc x down to -2,000,000
    PreviewWindow w(std::move(data), QStringLiteral("big"));
    EXPECT_EQ(w.statusText(),
              QStringLiteral("%L1 レコード，20.000 秒，欠損 1 箇所，読み取れない行 3 行")
                  .arg(window->data().records));
    w.show();
    ASSERT_TRUE(waitFor([&] { return w.views().first()->pointCount() > 0; }));
    EXPECT_TRUE(allMatch(w.views().first()->valueAxis(), QStringLiteral("-?\\d+(\\.\\d+)?M|0"), 3));
}

TEST_F(PreviewWindowTest, WindowFitsTheScreenAndClosesFromTheKeyboard) {
    QWidget parent;
    parent.show();
    const QSize room = parent.screen()->availableGeometry().size();
    ASSERT_LT(room.height(), 804);  // smaller than the window wants
    auto* w = new PreviewWindow(window->data(), QStringLiteral("fits"), &parent);
    w->show();
    ASSERT_TRUE(waitFor([&] { return w->views().first()->pointCount() > 0; }));
    EXPECT_LE(w->width(), room.width());
    EXPECT_LE(w->height(), room.height());
    EXPECT_GT(w->findChild<QScrollArea*>()->verticalScrollBar()->maximum(), 0);  // charts scroll

    // Escape, then Ctrl+W, from a chart.
    for (const QKeyCombination keys :
         {QKeyCombination(Qt::Key_Escape), QKeyCombination(Qt::ControlModifier, Qt::Key_W)}) {
        w->show();
        w->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(w));
        QTest::keyClick(w->views()[2], keys.key(), keys.keyboardModifiers());
        EXPECT_FALSE(w->isVisible()) << QKeySequence(keys).toString().toStdString();
    }
}

}  // namespace
}  // namespace preview
