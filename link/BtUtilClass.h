// Paired sensor lookup: which paired devices are supported sensors, by name.
#pragma once

#include <string>

class BtUtilClass {
  public:
    // 1 for a supported sensor name, else 0.
    static int checkSensorType(const std::string& deviceName);
    // 0 not a sensor, 1 VRAX610, 2 VRAX650.
    static int checkSensorType2(const std::string& deviceName);
    // "VRAX650" or "VRAX610", for the name of a supported sensor.
    static const char* modelName(const std::string& deviceName);
    // Supported sensors among the paired devices; -1 when there is no paired list.
    static int getPairdVRAXSensors();
    // Name and address of the index-th supported sensor, counting from 0.
    static bool getSensorDeviceInfoByIndex(int index, std::string& deviceName,
                                           std::string& deviceAddress);
};
