#include "link_sim/DemoSensors.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <utility>

namespace demo {

// Replays run at about the pace of a Bluetooth serial link, so that a
// download shows its progress.
constexpr uint32_t kDemoFramesPerSecond = 15000;

void addDemoSensors(SimulatedPlatform& platform) {
    auto s610 = std::make_shared<VirtualSensor>(VirtualModel::VRAX610);
    const uint32_t sizes[3] = {1500, 24000, 180000};
    for (int i = 0; i < 3; ++i) {
        VirtualEntry e = VirtualEntry::generated(610 + uint64_t(i), sizes[i], kKindsWithoutExt16ad);
        e.setStart(2026, 11, 28 + i, 9 + i, 15 * i, 30, 250 * i);
        s610->entries.push_back(e);
    }
    s610->faults.framesPerSecond = kDemoFramesPerSecond;
    platform.addDevice(kSensor610, kAddress610, s610);

    platform.addDevice("Lab Headset", "00:1B:DC:AA:00:03", nullptr);

    auto s650 = std::make_shared<VirtualSensor>(VirtualModel::VRAX650);
    VirtualEntry e650 = VirtualEntry::generated(650, 60000, kAllKinds);
    e650.setStart(2026, 12, 1, 14, 5, 0, 0);
    e650.ad16Gain = {1, 2, 4, 8};
    s650->entries.push_back(e650);
    s650->batteryVoltage = 3.71f;
    s650->faults.framesPerSecond = kDemoFramesPerSecond;
    platform.addDevice(kSensor650, kAddress650, s650);

    auto busy = std::make_shared<VirtualSensor>(VirtualModel::VRAX610);
    busy->faults.busy = true;
    platform.addDevice(kSensorBusy, kAddressBusy, busy);
}

namespace {

// Every part between separators, empty ones included.
std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    while (true) {
        const size_t end = text.find(separator);
        parts.push_back(text.substr(0, end));
        if (end == std::string_view::npos) return parts;
        text.remove_prefix(end + 1);
    }
}

// The demo sensor of that name on `platform`; null for any other name.
VirtualSensor* demoSensorNamed(SimulatedPlatform& platform, std::string_view name) {
    const std::pair<const char*, const char*> sensors[] = {
        {kSensor610, kAddress610}, {kSensor650, kAddress650}, {kSensorBusy, kAddressBusy}};
    for (const auto& [sensorName, address] : sensors)
        if (name == sensorName) return platform.sensorAt(address);
    const std::string_view prefix = kExtraSensorPrefix;
    int n = 0;
    if (name.substr(0, prefix.size()) == prefix &&
        std::from_chars(name.data() + prefix.size(), name.data() + name.size(), n).ec ==
            std::errc{}) {
        char address[32];
        std::snprintf(address, sizeof address, "00:1B:DC:65:01:%02X", n & 0xFF);
        return platform.sensorAt(address);
    }
    return nullptr;
}

void addExtraSensors(SimulatedPlatform& platform, int n, uint32_t records) {
    for (int i = 1; i <= n; ++i) {
        char name[32], address[32];
        std::snprintf(name, sizeof name, "%s%02d", kExtraSensorPrefix, i);
        std::snprintf(address, sizeof address, "00:1B:DC:65:01:%02X", i);
        auto s = std::make_shared<VirtualSensor>(VirtualModel::VRAX650);
        VirtualEntry e = VirtualEntry::generated(6500 + uint64_t(i), records, kAllKinds);
        e.setStart(2026, 12, 2, 10, i, 0, 0);
        e.ad16Gain = {1, 2, 4, 8};
        s->entries.push_back(e);
        s->faults.framesPerSecond = kDemoFramesPerSecond;
        platform.addDevice(name, address, s);
    }
}

template <typename T>
bool parseNumber(std::string_view text, T& into) {
    return !text.empty() &&
           std::from_chars(text.data(), text.data() + text.size(), into).ec == std::errc{} &&
           std::from_chars(text.data(), text.data() + text.size(), into).ptr ==
               text.data() + text.size();
}

// The host's local wall time now, ms since 2000-01-01: what setting the
// clock from this computer would give.
int64_t localWallClock2000() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t secs = system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&secs, &local);
    const int64_t utcMs = duration_cast<milliseconds>(now.time_since_epoch()).count();
    return utcMs + int64_t(local.tm_gmtoff) * 1000 - VirtualSensor::epoch2000Ms();
}

// "clock:NAME:OFFSET_MS:PPM" and "latency:NAME:MS:JITTER_MS[:SEED]"; false
// when the numbers do not read.
bool applyClockFault(VirtualSensor* s, const std::vector<std::string_view>& f) {
    if (f[0] == "clock") {
        double offset = 0, ppm = 0;
        if (!parseNumber(f[2], offset) || !parseNumber(f[3], ppm) || !std::isfinite(offset) ||
            std::fabs(offset) > 1e11 || !(std::fabs(ppm) <= 1e5))
            return false;
        if (s) {
            s->faults.clockPpm = ppm;
            s->setClock(localWallClock2000() + int64_t(std::llround(offset)), s->nowMs());
        }
        return true;
    }
    int latency = 0, jitter = 0;
    uint64_t seed = 1;
    if (!parseNumber(f[2], latency) || !parseNumber(f[3], jitter) || latency < 0 ||
        latency > 60000 || jitter < 0 || jitter > 60000 ||
        (f.size() == 5 && !parseNumber(f[4], seed)))
        return false;
    if (s) {
        s->faults.latencyMs = latency;
        s->faults.jitterMs = jitter;
        s->faults.jitterSeed = seed;
    }
    return true;
}

}  // namespace

void applyFaults(SimulatedPlatform& platform, std::string_view faults,
                 std::vector<std::string>& rejected) {
    for (const std::string_view item : split(faults, ',')) {
        if (item.empty()) continue;  // "" or "a,,b": nothing asked
        const std::vector<std::string_view> f = split(item, ':');
        if (f[0] == "fast") {
            for (const char* address : {kAddress610, kAddress650})
                if (VirtualSensor* s = platform.sensorAt(address)) s->faults.framesPerSecond = 0;
            continue;
        }
        if (f[0] == "bluetooth" && f.size() == 2) {
            const std::pair<std::string_view, BluetoothState> states[] = {
                {"off", BluetoothState::adapterOff},
                {"blocked", BluetoothState::adapterBlocked},
                {"noadapter", BluetoothState::noAdapter},
                {"nobluez", BluetoothState::noBlueZ},
                {"nobus", BluetoothState::noSystemBus}};
            bool known = false;
            for (const auto& [word, state] : states)
                if (f[1] == word) {
                    platform.setState(state);
                    known = true;
                }
            if (!known) rejected.emplace_back(item);
            continue;
        }
        // "extra:N:RECORDS": N more VRAX650s, paced, each with one entry of
        // RECORDS records of every kind (several sensors at once).
        if (f[0] == "extra" && f.size() == 3) {
            int n = 0;
            uint32_t records = 0;
            if (std::from_chars(f[1].data(), f[1].data() + f[1].size(), n).ec != std::errc{} ||
                std::from_chars(f[2].data(), f[2].data() + f[2].size(), records).ec !=
                    std::errc{} ||
                n < 1 || n > 99 || records > 4000000) {
                rejected.emplace_back(item);
                continue;
            }
            addExtraSensors(platform, n, records);
            continue;
        }
        if ((f[0] == "clock" && f.size() == 4) ||
            (f[0] == "latency" && (f.size() == 4 || f.size() == 5))) {
            if (!applyClockFault(demoSensorNamed(platform, f[1]), f)) rejected.emplace_back(item);
            continue;
        }
        if (f[0] == "nogetd" && f.size() == 2) {
            if (VirtualSensor* s = demoSensorNamed(platform, f[1]))
                s->faults.unansweredCommands[0x12] = -1;
            continue;
        }
        // The count is the decimal number the third field starts with.
        int64_t count = 0;
        if (f.size() != 3 ||
            std::from_chars(f[2].data(), f[2].data() + f[2].size(), count).ec != std::errc{} ||
            count < 0) {
            rejected.emplace_back(item);
            continue;
        }
        VirtualSensor* s = demoSensorNamed(platform, f[1]);
        if (!s) continue;
        if (f[0] == "silent") s->faults.silentAfterFrames = count;
        if (f[0] == "close") s->faults.closeAfterFrames = count;
        if (f[0] == "drop") s->faults.dropEveryNth = uint32_t(count);
        if (f[0] == "slowconnect") s->faults.connectDelayMs = int(std::min<int64_t>(count, 600000));
    }
}

}  // namespace demo
