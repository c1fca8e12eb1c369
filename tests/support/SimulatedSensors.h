// Virtual sensors on the simulated platform for one test, a temporary
// folder for its files, and the pieces the sensor tests share.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "link_sim/SimulatedPlatform.h"
#include "protocol/Frame.h"
#include "sensor/SensorSession.h"
#include "support/Files.h"

inline constexpr const char* k610 = "00:1B:DC:61:00:01";
inline constexpr const char* k650 = "00:1B:DC:65:00:16";
inline constexpr const char* kName610 = "VRAX610-001";
inline constexpr const char* kName650 = "VRAX650-LAB-0016";

class SimulatedSensorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        BluetoothPlatform::setCurrent(&platform);
        dir = makeTempFolder("vrax-sensor");
    }
    void TearDown() override {
        BluetoothPlatform::setCurrent(nullptr);
        std::filesystem::remove_all(dir);
    }
    // A paired sensor of `model`, by default the demo's VRAX610 or VRAX650.
    VirtualSensor* add(VirtualModel model, const char* name = nullptr,
                       const char* address = nullptr) {
        const bool is650 = model == VirtualModel::VRAX650;
        return platform.addDevice(name    ? name
                                  : is650 ? kName650
                                          : kName610,
                                  address ? address
                                  : is650 ? k650
                                          : k610,
                                  std::make_shared<VirtualSensor>(model));
    }

    SimulatedPlatform platform;
    std::string dir;
};

// The frame a sender puts on the wire for `message`.
inline std::vector<uint8_t> frameOf(std::vector<uint8_t> message) {
    uint8_t frame[32];
    const int n = buildSendPacket(message.data(), int(message.size()), frame);
    return {frame, frame + n};
}

// A download of entry `row` of `listing` into `folder`, as a front end asks for it.
inline session::DownloadRequest requestFor(const std::string& folder,
                                           const session::MemoryListing& listing, int row = 0) {
    session::DownloadRequest request;
    request.saveFolder = folder;
    request.entryRow = row;
    request.startText = listing.entries.at(size_t(row)).startText;
    request.expectedRecords = listing.entries.at(size_t(row)).records;
    return request;
}
