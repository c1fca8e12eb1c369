// Receive parser throughput: measurement frames with 1% junk bytes and a few
// corrupted check bytes, fed in pieces of 1, 64 and 4096 bytes; beside it the
// plain reference algorithm on the same stream.
#include <benchmark/benchmark.h>

#include <map>
#include <random>

#include "protocol/ReceiveParser.h"
#include "protocol/ReferenceParser.h"
#include "protocol/StreamMaker.h"

namespace {

class CountingOwner : public SensorEvents {
  public:
    uint64_t samples = 0;
    void setFirmVersion(const std::string&) override {}
    void setMEmEntryData(const uint8_t*, int) override {}
    void setBatteryVoltage(float) override {}
    void setAd16Gain(int, int) override {}
    int getAd16Gain(int) override { return 1; }
    void appendSensorData(uint64_t, SensorDataType, const int32_t*) override { ++samples; }
    void setSensorStatus(int) override {}
};

const std::vector<uint8_t>& streamOf(size_t frames) {
    static std::map<size_t, std::vector<uint8_t>> cache;
    auto& s = cache[frames];
    if (s.empty()) {
        std::mt19937 rng(42);
        StreamMix mix;
        mix.measurementsOnly = true;
        mix.junkPercent = 5;  // runs of 1-8 bytes before 5% of frames: about 1% of the bytes
        mix.corruptPercent = 1;
        mix.strayPercent = 0;
        s = makeStream(rng, frames, mix);
    }
    return s;
}

template <class Parser>
void run(benchmark::State& state) {
    const size_t frames = size_t(state.range(0));
    const size_t piece = size_t(state.range(1));
    const auto& stream = streamOf(frames);
    for (auto _ : state) {
        CountingOwner owner;
        Parser parser(&owner);
        for (size_t at = 0; at < stream.size(); at += piece)
            parser.receive(stream.data() + at, std::min(piece, stream.size() - at));
        benchmark::DoNotOptimize(owner.samples);
    }
    state.SetBytesProcessed(int64_t(state.iterations() * stream.size()));
    state.counters["frames/s"] = benchmark::Counter(double(frames) * double(state.iterations()),
                                                    benchmark::Counter::kIsRate);
    state.counters["ns/byte"] =
        benchmark::Counter(double(stream.size()) * double(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_Parser(benchmark::State& state) {
    run<ReceiveParser>(state);
}
void BM_Reference(benchmark::State& state) {
    run<ReferenceParser>(state);
}

}  // namespace

BENCHMARK(BM_Parser)
    ->ArgsProduct({{10000, 100000, 1000000}, {1, 64, 4096}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Reference)->ArgsProduct({{100000}, {1, 64, 4096}})->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
