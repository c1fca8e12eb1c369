// Any file through the CSV loader; what it loads must write back as lines
// that load again to the same records.
#include <cstring>

#include "FuzzSupport.h"
#include "store/VRAXSensorData.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = inputFile(".csv", data, size);
    // Inputs of odd length also read (and write back) filtered 16-bit AD values.
    const bool filtered = size % 2 == 1;
    VRAXSensorData store;
    store.setReadAD16FilterdData(filtered);
    if (!store.loadFromFileByCSV(path)) return 0;
    size_t lineEnds = 1;
    for (size_t i = 0; i < size; ++i) lineEnds += data[i] == '\n' || data[i] == '\r';
    require(store.count() <= lineEnds, "no more records than lines");
    for (uint64_t i = 0; i < store.count(); ++i) {
        const SensorDataRecord& r = *store.getDataByIndex(i);
        require(r.dataType >= 0 && r.dataType <= 6, "known data type");
        require(std::memchr(r.timeStr, 0, sizeof r.timeStr) != nullptr,
                "time text ends in its field");
        require(r.dateStr[0] == 0, "no date text");
    }

    // Written as a download file and loaded again: the same records.
    const std::string again = path + ".again";
    VRAXSensorData writer;
    writer.setWriteAD16FilterdData(filtered);
    writer.setSaveFilename(again);
    writer.setSaveFlag();
    for (uint64_t i = 0; i < store.count(); ++i) {
        const SensorDataRecord& r = *store.getDataByIndex(i);
        writer.appendSensorData(r.msTime, r.dataType, r.values);
    }
    require(writer.finishSaveFile(true, safeout::Existing::replace).kind == SaveFileEnd::complete,
            "written");
    VRAXSensorData reloaded;
    reloaded.setReadAD16FilterdData(filtered);
    require(reloaded.loadFromFileByCSV(again), "reloaded");
    require(reloaded.count() == store.count(), "same count after a round trip");
    for (uint64_t i = 0; i < store.count(); ++i) {
        const SensorDataRecord& a = *store.getDataByIndex(i);
        const SensorDataRecord& b = *reloaded.getDataByIndex(i);
        require(a.dataType == b.dataType && a.msTime == b.msTime, "same kind and time");
        require(std::memcmp(a.values, b.values, sizeof a.values) == 0, "same values");
    }
    std::remove(again.c_str());
    return 0;
}
