#include "preview/ChartStack.h"

#include <algorithm>

#include "preview/ChartFrame.h"
#include "preview/PlotData.h"
#include "store/SensorDataRecord.h"

namespace preview {

ChartStack::ChartStack(int chartHeight_, int minChartHeight_, QWidget* parent)
    : QWidget(parent),
      charts(chartLayouts().size()),
      chartHeight(chartHeight_),
      minChartHeight(minChartHeight_) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

std::vector<size_t> ChartStack::visibleRows() const {
    std::vector<size_t> out;
    for (size_t i = 0; i < chartLayouts().size(); ++i)
        if (seen[size_t(chartLayouts()[i].dataType)]) out.push_back(i);
    return out;
}

int ChartStack::chartCount() const {
    return int(visibleRows().size());
}

std::vector<std::string> ChartStack::chartTitles() const {
    std::vector<std::string> out;
    for (size_t i : visibleRows()) out.emplace_back(chartLayouts()[i].title);
    return out;
}

size_t ChartStack::pointCount() const {
    size_t n = 0;
    for (size_t i : visibleRows())
        for (const Decimated& d : charts[i].tracks) n += d.points.size();
    return n;
}

int ChartStack::plotColumns() const {
    return std::max(1, width() - frame::kLeft - frame::kRight);
}

QRect ChartStack::plotRect(int top, int chartHeight) const {
    return QRect(frame::kLeft, top + frame::kTitle, plotColumns(),
                 chartHeight - frame::kTitle - frame::kTimeLabel - 2);
}

void ChartStack::KindSamples::clear() {
    t.clear();
    for (auto& v : values) v.clear();
    gaps.clear();
}

std::array<ChartStack::KindSamples, 7> ChartStack::emptyKinds() {
    std::array<KindSamples, 7> kinds;
    for (size_t k = 0; k < kinds.size(); ++k) kinds[k].values.resize(size_t(valueCount(int(k))));
    return kinds;
}

int ChartStack::shownChartHeight(size_t shownCharts) const {
    return std::max(minChartHeight, height() / int(std::max<size_t>(1, shownCharts)));
}

void ChartStack::forgetCharts() {
    seen.fill(false);
    for (ChartState& c : charts) c = ChartState{};
    recordsInRange = 0;
}

QSize ChartStack::sizeHint() const {
    return {720, std::max(1, chartCount()) * chartHeight};
}

QSize ChartStack::minimumSizeHint() const {
    return {320, std::max(1, chartCount()) * minChartHeight};
}

void ChartStack::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    decimateAll();
}

}  // namespace preview
