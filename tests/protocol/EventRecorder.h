// Records every call the parser and decoders make on their owner, as text.
#pragma once

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "protocol/SensorEvents.h"

class EventRecorder : public SensorEvents {
  public:
    std::vector<std::string> calls;
    std::array<int, 4> gains{};

    struct Sample {
        uint64_t time;
        int type;
        std::vector<int32_t> values;
    };
    std::vector<Sample> samples;

    void setFirmVersion(const std::string& v) override { calls.push_back("firm " + v); }
    void setMEmEntryData(const uint8_t* frame, int n) override {
        std::string s = "mem";
        for (int i = 0; i < n; ++i) s += " " + std::to_string(frame[2 + i]);
        calls.push_back(s);
    }
    void setBatteryVoltage(float v) override {
        char text[32];
        std::snprintf(text, sizeof text, "batt %.4f", double(v));
        calls.push_back(text);
    }
    void setAd16Gain(int gain, int port) override {
        calls.push_back("gain " + std::to_string(gain) + " " + std::to_string(port));
    }
    int getAd16Gain(int port) override { return gains[size_t(port)]; }
    void appendSensorData(uint64_t time, SensorDataType type, const int32_t* data) override {
        static const int counts[7] = {6, 3, 2, 2, 6, 10, 12};
        Sample s{time, type, std::vector<int32_t>(data, data + counts[type])};
        std::string text = "data " + std::to_string(time) + " " + std::to_string(type);
        for (int32_t v : s.values) text += " " + std::to_string(v);
        calls.push_back(text);
        samples.push_back(std::move(s));
    }
    void setSensorDateTime(const uint8_t* p) override {
        std::string s = "date";
        for (int i = 0; i < 8; ++i) s += " " + std::to_string(p[i]);
        calls.push_back(s);
    }
    void setSensorStatus(int status) override {
        calls.push_back("status " + std::to_string(status));
    }
};
