// vraxctl plot: the preview's charts of a CSV file drawn off screen into a
// PNG picture, for reports.
#include <QFileInfo>
#include <QImage>
#include <QString>
#include <cstdio>

#include "app/preview/PreviewWindow.h"
#include "tools/vraxctl/Cli.h"

namespace cli {

int plotCommand(const Options& o) {
    preview::PlotData data;
    std::string why;
    if (!preview::loadPlotFile(o.file, data, why)) {
        for (char& c : why)
            if (c == '\n') c = ' ';
        error(why);
        return Exit::fileError;
    }
    const QString file = QString::fromStdString(o.file);
    const QImage picture =
        preview::renderPreview(data, QFileInfo(file).fileName(), o.width, preview::kChartHeight);
    if (picture.isNull() || !picture.save(QString::fromStdString(o.output), "PNG")) {
        error("cannot write the picture " + o.output);
        return Exit::fileError;
    }
    std::printf("%s: %zu charts, %llu records, %d missing stretches -> %s\n", o.file.c_str(),
                data.charts.size(), (unsigned long long)data.records, data.missingStretches,
                o.output.c_str());
    return Exit::ok;
}

}  // namespace cli
