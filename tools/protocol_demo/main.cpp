// Frames a few commands, then parses a made-up sensor stream (answers and
// measurement frames, split into small pieces) into the sample store.
#include <cstdio>
#include <string>
#include <vector>

#include "protocol/CommandTable.h"
#include "protocol/Frame.h"
#include "protocol/ReceiveParser.h"
#include "store/VRAXSensorData.h"

namespace {

class DemoOwner : public SensorEvents {
  public:
    VRAXSensorData store;
    void setFirmVersion(const std::string& v) override {
        std::printf("  firmware %s\n", v.c_str());
    }
    void setMEmEntryData(const uint8_t*, int n) override {
        std::printf("  memory answer, %d bytes\n", n);
    }
    void setBatteryVoltage(float v) override { std::printf("  battery %.2f V\n", double(v)); }
    void setAd16Gain(int, int) override {}
    int getAd16Gain(int) override { return 1; }
    void appendSensorData(uint64_t t, SensorDataType type, const int32_t* d) override {
        store.appendSensorData(t, type, d);
    }
    void setSensorStatus(int) override {}
};

std::vector<uint8_t> frame(std::vector<uint8_t> message) {
    std::vector<uint8_t> out(message.size() + 2);
    buildSendPacket(message.data(), int(message.size()), out.data());
    return out;
}

void print(const char* what, const std::vector<uint8_t>& bytes) {
    std::printf("%-22s", what);
    for (uint8_t b : bytes) std::printf(" %02X", b);
    std::printf("\n");
}

}  // namespace

int main() {
    std::printf("Command frames:\n");
    print("  stop", frame({commandCode("stop"), 0x00}));
    print("  memcount", frame({commandCode("memcount"), 0x00}));
    print("  readmemdata 1", frame({commandCode("readmemdata"), 0x01}));

    std::vector<uint8_t> stream = frame({0x8F, 0x00});
    std::vector<uint8_t> ags = {0x80, 0xE8, 0x03, 0, 0};
    for (int i = 0; i < 6; ++i) ags.insert(ags.end(), {uint8_t(i + 1), 0, 0});
    for (int n = 0; n < 3; ++n) {
        ags[1] = uint8_t(0xE8 + n * 10);
        auto f = frame(ags);
        stream.insert(stream.end(), f.begin(), f.end());
    }
    auto batt = frame({0xBB, 0x2C, 0x01, 0x00});
    stream.insert(stream.end(), batt.begin(), batt.end());

    std::printf("Parsing %zu bytes in pieces of 5:\n", stream.size());
    DemoOwner owner;
    ReceiveParser parser(&owner);
    for (size_t i = 0; i < stream.size(); i += 5)
        parser.receive(stream.data() + i, std::min<size_t>(5, stream.size() - i));
    std::printf("  OK flag %d, %llu records in the store\n", parser.okFlag(),
                (unsigned long long)owner.store.count());
    for (uint64_t i = 0; i < owner.store.count(); ++i) {
        const SensorDataRecord* r = owner.store.getDataByIndex(i);
        std::printf("  record %llu: type %d time %llu (%s) values %d %d %d ...\n",
                    (unsigned long long)i, r->dataType, (unsigned long long)r->msTime, r->timeStr,
                    r->values[0], r->values[1], r->values[2]);
    }
    return 0;
}
