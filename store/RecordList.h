// Records in arrival order, in fixed-size chunks: a record keeps its address
// for as long as it is in the list, and appending never moves old records.
// A list that only needs its latest records (a live session) gives back the
// chunks before a record with dropBefore(); indexes stay those of arrival,
// and the records given back read as null.
// A chunk fills one 2 MB huge page: a long download or load faults its memory
// in a page at a time rather than 512 (the first chunk keeps small pages, so
// that a small store stays small).
#pragma once

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "store/SensorDataRecord.h"

class RecordList {
  public:
    static constexpr size_t kChunkBytes = size_t(2) << 20;
    static constexpr uint64_t kChunkRecords = kChunkBytes / sizeof(SensorDataRecord);

    uint64_t size() const { return count; }
    bool empty() const { return count == 0; }

    const SensorDataRecord* at(uint64_t index) const {
        if (index >= count || index < firstKept) return nullptr;
        return &chunks[index / kChunkRecords][index % kChunkRecords];
    }
    // The first record still held (0 unless chunks were given back).
    uint64_t firstHeld() const { return firstKept; }

    // Gives back every chunk that holds only records before `index`.
    void dropBefore(uint64_t index) {
        if (count == 0) return;  // the last record's chunk always stays
        const uint64_t whole = std::min(index, count - 1) / kChunkRecords;
        for (uint64_t c = firstKept / kChunkRecords; c < whole; ++c) chunks[c].reset();
        firstKept = std::max(firstKept, whole * kChunkRecords);
    }
    const SensorDataRecord& back() const { return *at(count - 1); }

    // Room for the next record, to be filled in place; it counts once pushed.
    SensorDataRecord& next() {
        if (count / kChunkRecords == chunks.size()) chunks.push_back(newChunk(!chunks.empty()));
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
        firstKept = 0;
    }
    void swap(RecordList& other) noexcept {
        chunks.swap(other.chunks);
        std::swap(count, other.count);
        std::swap(firstKept, other.firstKept);
    }

    // Calls f(first, n) for each run of consecutive records held, oldest first.
    template <class F>
    void forEachRun(F&& f) const {
        for (uint64_t done = firstKept; done < count; done += kChunkRecords)
            f(chunks[done / kChunkRecords].get(), std::min(kChunkRecords, count - done));
    }

  private:
    struct Unmap {
        void operator()(SensorDataRecord* p) const { munmap(p, kChunkBytes); }
    };
    using Chunk = std::unique_ptr<SensorDataRecord[], Unmap>;

    // A chunk on a 2 MB boundary (mapped larger, the rest given back), so
    // that it can be one huge page.
    static Chunk newChunk(bool hugePage) {
        const size_t mapped = 2 * kChunkBytes;
        void* m = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (m == MAP_FAILED) throw std::bad_alloc();
        auto* base = static_cast<char*>(m);
        const uintptr_t offset = reinterpret_cast<uintptr_t>(base) % kChunkBytes;
        char* chunk = offset ? base + (kChunkBytes - offset) : base;
        if (chunk > base) munmap(base, size_t(chunk - base));
        if (base + mapped > chunk + kChunkBytes)
            munmap(chunk + kChunkBytes, size_t(base + mapped - (chunk + kChunkBytes)));
        if (hugePage) {
            madvise(chunk, kChunkBytes, MADV_HUGEPAGE);
#ifdef MADV_POPULATE_WRITE
            // Faulted in with one call (a kernel without it faults as usual):
            // the page faults of a fast download no longer come one by one.
            madvise(chunk, kChunkBytes, MADV_POPULATE_WRITE);
#endif
        }
        return Chunk(reinterpret_cast<SensorDataRecord*>(chunk));
    }

    std::vector<Chunk> chunks;
    uint64_t count = 0;
    uint64_t firstKept = 0;  // a multiple of kChunkRecords
};
