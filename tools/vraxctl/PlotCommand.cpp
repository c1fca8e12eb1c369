// vraxctl plot: the preview's charts of a CSV file drawn off screen into a
// PNG picture, for reports. The picture never replaces an existing file
// (nor the input) without --force.
#include <QBuffer>
#include <QFileInfo>
#include <QImage>
#include <QString>
#include <cstdio>

#include "preview/PreviewWindow.h"
#include "store/FileIO.h"
#include "store/SafeOutput.h"
#include "tools/vraxctl/Cli.h"
#include "tools/vraxctl/Commands.h"

namespace cli {
namespace {

struct PlotOptions {
    std::string file;
    std::string output;  // the picture
    bool force = false;
    int width = 1200;
};

constexpr Option kPng{"png", "The picture to write.", "file"};
constexpr Option kWidth{"width", "Width of the picture in pixels (default 1200).", "pixels",
                        "1200"};

int plotCommand(const PlotOptions& o) {
    if (fileio::InputFile::sameFile(o.output, o.file)) {
        error(shown(o.output) + " is the input file; choose another name for the picture");
        return Exit::usage;
    }
    if (!o.force && fileio::exists(o.output)) {
        error(shown(o.output) + " exists already; --force replaces it");
        return Exit::fileError;
    }
    preview::PlotData data;
    const preview::LoadFailure failure = preview::loadPlotFile(o.file, data);
    if (failure != preview::LoadFailure::none) {
        error(shown(o.file) + ": " + preview::loadFailureReason(failure));
        return Exit::fileError;
    }
    if (data.skippedLines > 0)
        warning(shown(o.file) + ": " + std::to_string(data.skippedLines) +
                " lines were not understood and were left out");
    const QString file = QFile::decodeName(QByteArray::fromStdString(o.file));
    const QImage picture =
        preview::renderPreview(data, QFileInfo(file).fileName(), o.width, preview::kChartHeight);
    std::string why;
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (picture.isNull() || !picture.save(&buffer, "PNG")) {
        error("cannot draw the picture");
        return Exit::fileError;
    }
    if (!safeout::writeWholeFile(o.output, png.toStdString(),
                                 o.force ? safeout::Existing::replace : safeout::Existing::refuse,
                                 why)) {
        error("cannot write the picture " + shown(o.output) + ": " + shown(why));
        return Exit::fileError;
    }
    std::printf("%s: %zu charts, %llu records, %d missing stretches -> %s\n", shown(o.file).c_str(),
                data.charts.size(), (unsigned long long)data.records, data.missingStretches,
                shown(o.output).c_str());
    return Exit::ok;
}

UsageError parsePlot(const ParsedLine& l, PlotOptions& o) {
    if (UsageError e = readOneFile(l, o.file)) return e;
    o.force = l.isSet(opt::forceOutputs);
    if (!l.isSet(kPng)) return "--png OUT.png is needed";
    if (!l.path(kPng, o.output)) return "--png needs a file name";
    bool okNumber = false;
    o.width = l.value(kWidth).toInt(&okNumber);
    if (!okNumber || o.width < 200 || o.width > 10000)
        return "--width takes a number of pixels from 200 to 10000";
    return std::nullopt;
}

}  // namespace

std::vector<Command> plotCommands() {
    return {
        {"plot",
         "FILE.csv --png OUT.png",
         "Draw the preview's charts of a CSV file into a PNG picture, without a display.\n"
         "Never writes over an existing file without --force.",
         {&opt::forceOutputs, &kPng, &kWidth},
         parseThenRun(parsePlot, plotCommand),
         true},
    };
}

}  // namespace cli
