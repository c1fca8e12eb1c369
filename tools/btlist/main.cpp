// Lists the paired supported sensors: through BlueZ, or with --virtual the
// demo's virtual sensors.
#include <QCoreApplication>
#include <cstdio>
#include <cstring>
#include <string>

#include "link/BtUtilClass.h"
#include "link_sim/BackendChoice.h"
#include "store/TextScan.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    bool simulated = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--virtual") == 0) {
            simulated = true;
        } else {
            std::fprintf(
                stderr,
                "usage: btlist [--virtual]\n"
                "Lists the paired VRAX sensors (with --virtual, the demo's virtual ones).\n");
            return std::strcmp(argv[i], "--help") == 0 ? 0 : 2;
        }
    }
    const BackendChoice backend(simulated);
    for (const std::string& item : backend.rejectedFaults())
        std::fprintf(stderr, "btlist: warning: %s: \"%s\" is not a fault; ignored\n",
                     BackendChoice::kFaultVariable, text::forTerminal(item).c_str());

    const int count = BtUtilClass::getPairdVRAXSensors();
    if (count < 0) {
        std::fprintf(stderr, "btlist: no list of paired Bluetooth devices (%s)\n",
                     text::forTerminal(backend.lastError()).c_str());
        return 1;
    }
    std::printf("%d paired VRAX sensor%s%s\n", count, count == 1 ? "" : "s",
                simulated ? " (virtual)" : "");
    for (int i = 0; i < count; ++i) {
        std::string name, address;
        if (!BtUtilClass::getSensorDeviceInfoByIndex(i, name, address)) break;
        const char* model = BtUtilClass::modelName(name);
        std::printf("%-20s %s  %s\n", text::forTerminal(name).c_str(),
                    text::forTerminal(address).c_str(), model);
    }
    return 0;
}
