// The download file the store writes for the samples a virtual entry
// replays: what a download of that entry must produce.
#pragma once

#include <string>

#include "sim/VirtualEntry.h"
#include "store/VRAXSensorData.h"

inline bool writeEntryFile(const VirtualEntry& entry, bool filtered, const std::string& path) {
    VRAXSensorData store;
    store.setWriteAD16FilterdData(filtered);
    store.setSaveFilename(path);
    store.setSaveFlag();
    for (const HostSample& h : entry.hostSamples())
        store.appendSensorData(h.time, h.dataType, h.values);
    return store.finishSaveFile(true, safeout::Existing::replace).kind == SaveFileEnd::complete;
}
