#include "link/BtUtilClass.h"

#include "link/platform/BluetoothPlatform.h"

namespace {

// Length in characters of UTF-8 text: every byte that does not continue a
// sequence starts a character.
size_t characterCount(const std::string& text) {
    size_t n = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

int modelOf(const std::string& name) {
    const size_t length = characterCount(name);
    if (length != 11 && length != 16 && length != 18) return 0;
    // Both prefixes are ASCII, so the first seven characters match them only
    // as the first seven bytes.
    if (name.compare(0, 7, "VRAX610") == 0) return 1;
    if (name.compare(0, 7, "VRAX650") == 0) return 2;
    return 0;
}

}  // namespace

int BtUtilClass::checkSensorType(const std::string& deviceName) {
    return modelOf(deviceName) ? 1 : 0;
}

const char* BtUtilClass::modelName(const std::string& deviceName) {
    return checkSensorType2(deviceName) == 2 ? "VRAX650" : "VRAX610";
}

int BtUtilClass::checkSensorType2(const std::string& deviceName) {
    return modelOf(deviceName);
}

int BtUtilClass::getPairdVRAXSensors() {
    const auto devices = BluetoothPlatform::current().pairedDevices();
    if (!devices) return -1;
    int count = 0;
    for (const PairedDevice& d : *devices)
        if (checkSensorType(d.name) == 1) ++count;
    return count;
}

bool BtUtilClass::getSensorDeviceInfoByIndex(int index, std::string& deviceName,
                                             std::string& deviceAddress) {
    // One snapshot of the list serves the count and the walk, so both see
    // the same devices.
    const auto devices = BluetoothPlatform::current().pairedDevices();
    if (!devices) return false;
    int count = 0;
    for (const PairedDevice& d : *devices)
        if (checkSensorType(d.name) == 1) ++count;
    if (count < index) return false;
    int seen = 0;
    for (const PairedDevice& d : *devices) {
        if (checkSensorType(d.name) != 1) continue;
        if (seen == index) {
            deviceName = d.name;
            deviceAddress = d.address;
            return true;
        }
        ++seen;
    }
    deviceName.clear();
    deviceAddress.clear();
    return false;
}
