// Hundreds of list, download and erase cycles in one process: results stay
// right, and neither open descriptors nor resident memory grow.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "link_sim/SimulatedPlatform.h"
#include "sensor/SensorSession.h"
#include "support/Files.h"

namespace {

size_t openDescriptors() {
    size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) ++n;
    return n;
}

uint64_t residentBytes() {
    std::ifstream in("/proc/self/status");
    std::string word;
    while (in >> word)
        if (word == "VmRSS:") {
            uint64_t kb = 0;
            in >> kb;
            return kb * 1024;
        }
    return 0;
}

TEST(Soak, ListDownloadEraseCyclesLeakNothing) {
    const char* env = std::getenv("SOAK_CYCLES");
    const int cycles = env ? std::atoi(env) : 200;
    SimulatedPlatform platform;
    BluetoothPlatform::setCurrent(&platform);
    VirtualSensor* sensor =
        platform.addDevice("VRAX650-SOAK-01", "00:1B:DC:65:00:55",
                           std::make_shared<VirtualSensor>(VirtualModel::VRAX650));
    const std::string dir = makeTempFolder("vrax-soak");

    size_t fdsAfterWarmUp = 0;
    uint64_t rssAfterWarmUp = 0;
    for (int cycle = 0; cycle < cycles; ++cycle) {
        SCOPED_TRACE(cycle);
        sensor->entries = {VirtualEntry::generated(uint64_t(cycle), 2000)};
        session::MemoryListing listing;
        ASSERT_TRUE(session::SensorSession("VRAX650-SOAK-01", "00:1B:DC:65:00:55")
                        .listMemory(listing)
                        .ok());
        ASSERT_EQ(listing.entries.size(), 1u);
        ASSERT_EQ(listing.entries[0].records, 2000);

        session::SensorSession s("VRAX650-SOAK-01", "00:1B:DC:65:00:55");
        session::DownloadRequest request;
        request.saveFolder = dir;
        request.startText = listing.entries[0].startText;
        session::DownloadReport report;
        ASSERT_TRUE(s.downloadEntry(request, {}, report).ok());
        ASSERT_EQ(report.records, 2000u);
        ASSERT_EQ(std::filesystem::file_size(report.filePath) > 0, true);
        std::filesystem::remove(report.filePath);

        ASSERT_TRUE(
            session::SensorSession("VRAX650-SOAK-01", "00:1B:DC:65:00:55").eraseMemory().ok());
        ASSERT_TRUE(sensor->entries.empty());

        if (cycle == 9) {
            fdsAfterWarmUp = openDescriptors();
            rssAfterWarmUp = residentBytes();
        }
    }
    if (cycles > 10) {
        const size_t fds = openDescriptors();
        const uint64_t rss = residentBytes();
        std::printf("%d cycles: descriptors %zu -> %zu, resident %llu -> %llu KiB\n", cycles,
                    fdsAfterWarmUp, fds, static_cast<unsigned long long>(rssAfterWarmUp / 1024),
                    static_cast<unsigned long long>(rss / 1024));
        EXPECT_LE(fds, fdsAfterWarmUp);
        EXPECT_LT(rss, rssAfterWarmUp + 4 * 1024 * 1024);
    }
    std::filesystem::remove_all(dir);
    BluetoothPlatform::setCurrent(nullptr);
}

}  // namespace
