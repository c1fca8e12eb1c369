#include "preview/ChartStack.h"

#include <algorithm>

#include "preview/ChartFrame.h"
#include "preview/PlotData.h"

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
