// VRAX Data Controller. With --demo the window works on virtual sensors;
// --headless-demo runs a short download without a display; --screenshots DIR
// saves pictures of the demo window.
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QTemporaryDir>
#include <cstdio>
#include <initializer_list>
#include <memory>

#include "app/AppDelegate.h"
#include "app/MainWindow.h"
#include "app/Screenshots.h"
#include "link/BtUtilClass.h"
#include "link_sim/BackendChoice.h"
#include "sensor/Provenance.h"
#include "sensor/SensorSession.h"
#include "store/FileIO.h"
#include "store/TextScan.h"

namespace {

// Lists the demo's sensors and downloads the first entry of the first one.
int runHeadlessDemo() {
    const int n = BtUtilClass::getPairdVRAXSensors();
    std::printf("Virtual sensors (no display, so no window):\n");
    for (int i = 0; i < n; ++i) {
        std::string name, address;
        if (BtUtilClass::getSensorDeviceInfoByIndex(i, name, address))
            std::printf("  %-18s %s\n", name.c_str(), address.c_str());
    }
    std::string name, address;
    if (!BtUtilClass::getSensorDeviceInfoByIndex(0, name, address)) return 1;
    session::MemoryListing listing;
    if (!session::SensorSession(name, address).listMemory(listing).ok() || listing.entries.empty())
        return 1;
    std::printf("%s holds %zu entries; downloading entry 1 (%d records)...\n", name.c_str(),
                listing.entries.size(), listing.entries[0].records);

    const QString folder = QDir::temp().filePath(QStringLiteral("vrax-demo"));
    session::SensorSession s(name, address);
    session::DownloadRequest request;
    request.saveFolder = folder.toStdString();
    request.startText = listing.entries[0].startText;
    request.expectedRecords = listing.entries[0].records;
    session::DownloadReport report;
    const session::Outcome o = s.downloadEntry(request, {}, report);
    if (!o.ok()) {
        std::fprintf(stderr, "The demo download failed.\n");
        return 1;
    }
    std::printf("Wrote %llu records to %s\n", static_cast<unsigned long long>(report.records),
                report.filePath.c_str());
    return 0;
}

struct Options {
    QCommandLineOption demo{QStringLiteral("demo"),
                            QStringLiteral("Work on virtual sensors instead of Bluetooth.")};
    QCommandLineOption headless{
        QStringLiteral("headless-demo"),
        QStringLiteral("Without a window: list the virtual sensors and download one entry.")};
    QCommandLineOption shots{QStringLiteral("screenshots"),
                             QStringLiteral("Save pictures of the demo window into <dir>."),
                             QStringLiteral("dir")};
};

void setUp(QCommandLineParser& parser, const Options& options) {
    parser.setApplicationDescription(
        QStringLiteral("Downloads the memory of VRAX610 and VRAX650 sensors."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions({options.demo, options.headless, options.shots});
}

bool hasArgument(int argc, char** argv, std::initializer_list<const char*> names) {
    for (int i = 1; i < argc; ++i) {
        if (QByteArray(argv[i]) == "--") return false;
        for (const char* name : names)
            if (QByteArray(argv[i]) == name) return true;
    }
    return false;
}

void nameApplication() {
    QCoreApplication::setOrganizationName(QStringLiteral("VRAX"));
    QCoreApplication::setApplicationName(QStringLiteral("VRAXDataController"));
    provenance::setTool("vrax-data-controller", VRAX_VERSION);
    QCoreApplication::setApplicationVersion(QStringLiteral(VRAX_VERSION));
}

}  // namespace

int main(int argc, char** argv) {
    fileio::raiseOpenFileLimit();
    // Help and version need no display: answered before any window system
    // is touched (the parser prints and exits). Options meant for the
    // window system (-platform ...) do not stand in the way.
    if (hasArgument(argc, argv, {"-v", "--version"})) {
        std::printf("vrax-data-controller %s\n", VRAX_VERSION);
        return 0;
    }
    if (hasArgument(argc, argv, {"-h", "-?", "--help", "--help-all"})) {
        QCoreApplication app(argc, argv);
        nameApplication();
        QCommandLineParser parser;
        const Options options;
        setUp(parser, options);
        parser.parse(app.arguments());
        if (parser.isSet(QStringLiteral("help-all"))) parser.process(app);
        parser.showHelp(0);
    }
    const bool headless = hasArgument(argc, argv, {"--headless-demo"});
    std::unique_ptr<QCoreApplication> app;
    if (headless)
        app = std::make_unique<QCoreApplication>(argc, argv);
    else
        app = std::make_unique<QApplication>(argc, argv);
    nameApplication();

    QCommandLineParser parser;
    const Options options;
    setUp(parser, options);
    parser.process(*app);

    const bool demo = parser.isSet(options.demo) || headless || parser.isSet(options.shots);
    const BackendChoice backend(demo);
    for (const std::string& item : backend.rejectedFaults())
        std::fprintf(stderr, "vrax-data-controller: warning: %s: \"%s\" is not a fault; ignored\n",
                     BackendChoice::kFaultVariable, text::forTerminal(item).c_str());
    if (headless) return runHeadlessDemo();

    AppDelegate delegate;
    delegate.applicationDidFinishLaunching();
    MainWindow window;
    window.setQuitCheck([&delegate] {
        return delegate.applicationShouldTerminate() == AppDelegate::TerminateReply::terminateNow;
    });
    if (demo)
        window.setWindowTitle(window.windowTitle() + QStringLiteral(" — demo (virtual sensors)"));
    window.show();
    if (parser.isSet(options.shots)) return takeScreenshots(window, parser.value(options.shots));
    const int result = app->exec();
    BluetoothPlatform::setCurrent(nullptr);
    return result;
}
