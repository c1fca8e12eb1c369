// Records in arrival order, in fixed-size chunks: a record keeps its address
// for as long as it is in the list, and appending never moves old records.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "store/SensorDataRecord.h"

class RecordList {
  public:
    static constexpr uint64_t kChunkRecords = 4096;

    uint64_t size() const { return count; }
    bool empty() const { return count == 0; }

    const SensorDataRecord* at(uint64_t index) const {
        if (index >= count) return nullptr;
        return &chunks[index / kChunkRecords][index % kChunkRecords];
    }
    const SensorDataRecord& back() const { return *at(count - 1); }

    // Room for the next record, to be filled in place; it counts once pushed.
    SensorDataRecord& next() {
        if (count / kChunkRecords == chunks.size())
            chunks.push_back(std::make_unique_for_overwrite<SensorDataRecord[]>(kChunkRecords));
        return chunks[count / kChunkRecords][count % kChunkRecords];
    }
    void push() { ++count; }
    void push(const SensorDataRecord& record) {
        next() = record;
        push();
    }

    void clear() {
        chunks.clear();
        count = 0;
    }
    void swap(RecordList& other) noexcept {
        chunks.swap(other.chunks);
        std::swap(count, other.count);
    }

    // Calls f(first, n) for each run of consecutive records, oldest first.
    template <class F>
    void forEachRun(F&& f) const {
        for (uint64_t done = 0; done < count; done += kChunkRecords)
            f(chunks[done / kChunkRecords].get(), std::min(kChunkRecords, count - done));
    }

  private:
    std::vector<std::unique_ptr<SensorDataRecord[]>> chunks;
    uint64_t count = 0;
};
