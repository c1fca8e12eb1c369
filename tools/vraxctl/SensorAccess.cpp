#include "tools/vraxctl/SensorAccess.h"

#include <cctype>

#include "tools/vraxctl/Cli.h"

namespace cli {

std::string lower(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

SensorBackend::SensorBackend(bool demo) : choice(demo) {
    // Appended piece by piece: GCC 12 misreads the chained concatenation here
    // as an overflow.
    for (const std::string& item : choice.rejectedFaults()) {
        std::string text = BackendChoice::kFaultVariable;
        text += ": \"";
        text += shown(item);
        text += "\" is not a fault; ignored";
        warning(text);
    }
}

bool SensorBackend::sensors(std::vector<SensorRef>& out) {
    const int count = BtUtilClass::getPairdVRAXSensors();
    const BluetoothState state = BluetoothPlatform::current().state();
    if (count < 0) {
        const std::string why = choice.lastError();
        error(std::string("no list of paired Bluetooth devices: ") + describe(state) +
              (why.empty() ? "" : " (" + shown(why) + ")") + " (--demo uses virtual sensors)");
        return false;
    }
    // Still paired, but nothing can be reached until Bluetooth is on.
    if (state != BluetoothState::ready)
        warning(std::string(describe(state)) + ": paired sensors are listed but cannot be reached");
    for (int i = 0; i < count; ++i) {
        SensorRef r;
        if (!BtUtilClass::getSensorDeviceInfoByIndex(i, r.name, r.address)) break;
        out.push_back(r);
    }
    return true;
}

std::optional<SensorRef> SensorBackend::find(const std::string& key, int& code) {
    std::vector<SensorRef> all;
    if (!sensors(all)) {
        code = Exit::noBluetooth;
        return std::nullopt;
    }
    for (const SensorRef& r : all)
        if (r.name == key) return r;
    for (const SensorRef& r : all)
        if (lower(r.address) == lower(key)) return r;
    error("no paired VRAX sensor named or at \"" + shown(key) + "\" (vraxctl list shows them)");
    code = Exit::noSensor;
    return std::nullopt;
}

CaptureSink::CaptureSink(const std::string& path) {
    if (path.empty()) return;
    std::string why;
    if (!writer.open(path, why)) {
        error(why);
        failed = true;
    }
}

void CaptureSink::attach(session::SensorSession& s, const std::string& command) {
    if (!writer.isOpen()) return;
    s.sensor().rfCommControl()->tap = [this](bool sent, const uint8_t* data, size_t length) {
        writer.bytes(sent, data, length);
    };
    writer.marker({{"event", "session"},
                   {"command", command},
                   {"sensor", s.sensor().name()},
                   {"address", s.sensor().address()}});
}

void CaptureSink::close(int& code) {
    std::string why;
    if (!writer.close(why)) {
        error(why);
        if (code == Exit::ok) code = Exit::fileError;
    }
}

}  // namespace cli
