// Any file through the binary loader: whole records only, saved back byte
// for byte.
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "FuzzSupport.h"
#include "store/VRAXSensorData.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = inputFile(".bin", data, size);
    VRAXSensorData store;
    require(store.loadFromFileByBin(path), "an existing file loads");
    require(store.count() == size / 96, "one record per 96 bytes");
    require(store.ignoredBytesOfLastLoad() == size % 96, "the short tail is counted");
    const std::string base = path + ".out";
    require(store.saveToFileByBin(base), "saved");
    std::ifstream in(base + ".bin", std::ios::binary);
    const std::vector<uint8_t> saved(std::istreambuf_iterator<char>(in), {});
    require(saved.size() == store.count() * 96, "saved size");
    require(saved.empty() || std::memcmp(saved.data(), data, saved.size()) == 0, "same bytes");
    std::remove((base + ".bin").c_str());
    return 0;
}
