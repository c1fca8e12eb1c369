// VRAX Data Controller. With --demo the window works on virtual sensors;
// --headless-demo runs a short download without a display; --screenshots DIR
// saves pictures of the demo window.
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QTemporaryDir>
#include <cstdio>

#include "app/AppDelegate.h"
#include "app/MainWindow.h"
#include "app/Screenshots.h"
#include "link/BtUtilClass.h"
#include "link_sim/BackendChoice.h"
#include "sensor/SensorSession.h"
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

}  // namespace

int main(int argc, char** argv) {
    const bool headless = [&] {
        for (int i = 1; i < argc; ++i)
            if (QByteArray(argv[i]) == "--headless-demo") return true;
        return false;
    }();
    std::unique_ptr<QCoreApplication> app;
    if (headless)
        app = std::make_unique<QCoreApplication>(argc, argv);
    else
        app = std::make_unique<QApplication>(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("VRAX"));
    QCoreApplication::setApplicationName(QStringLiteral("VRAXDataController"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Downloads the memory of VRAX610 and VRAX650 sensors."));
    parser.addHelpOption();
    const QCommandLineOption demoOption(
        QStringLiteral("demo"), QStringLiteral("Work on virtual sensors instead of Bluetooth."));
    const QCommandLineOption headlessOption(
        QStringLiteral("headless-demo"),
        QStringLiteral("Without a window: list the virtual sensors and download one entry."));
    const QCommandLineOption shotsOption(
        QStringLiteral("screenshots"),
        QStringLiteral("Save pictures of the demo window into <dir>."), QStringLiteral("dir"));
    parser.addOptions({demoOption, headlessOption, shotsOption});
    parser.process(*app);

    const bool demo = parser.isSet(demoOption) || headless || parser.isSet(shotsOption);
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
    if (parser.isSet(shotsOption)) return takeScreenshots(window, parser.value(shotsOption));
    const int result = app->exec();
    BluetoothPlatform::setCurrent(nullptr);
    return result;
}
