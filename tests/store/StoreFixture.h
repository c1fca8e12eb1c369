// Shared pieces of the store tests: a temporary folder, a recording reporter
// and records of every kind.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "store/VRAXSensorData.h"
#include "support/Files.h"

struct RecordingReporter : StoreReporter {
    std::vector<std::pair<std::string, std::string>> calls;
    void storeMessage(const std::string& message, const std::string& title) override {
        calls.emplace_back(message, title);
    }
};

class TempDir {
  public:
    TempDir() { path_ = makeTempFolder("vrax-store"); }
    ~TempDir() { std::filesystem::remove_all(path_); }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

// Appends `n` ags records with times 10 ms apart and values that identify them.
inline void appendAgs(VRAXSensorData& store, int n, int first = 0) {
    for (int i = first; i < first + n; ++i) {
        const int32_t v[6] = {i, -i, 2 * i, 3, 4, 5};
        store.appendSensorData(uint64_t(i) * 10, ags, v);
    }
}

inline std::string agsLines(int n, int first = 0, const char* eol = "\r\n") {
    std::string s;
    for (int i = first; i < first + n; ++i)
        s += "ags," + std::to_string(i * 10) + "," + std::to_string(i) + "," + std::to_string(-i) +
             "," + std::to_string(2 * i) + ",3,4,5" + eol;
    return s;
}
