// CRC-32 throughput: the builder's (libdeflate's) method, the one-table method
// it must agree with, and zlib's and libdeflate's crc32 for reference.
#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <zlib.h>

#include <random>
#include <string>

#include "zip/Crc32.h"

namespace {

const std::string& Block() {
    static const std::string data = [] {
        std::mt19937 random(1);
        std::string bytes(65535, '\0');
        for (char& c : bytes) c = static_cast<char>(random());
        return bytes;
    }();
    return data;
}

void BM_Crc32Builder(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(qm::Crc32Of(Block().data(), Block().size()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * Block().size());
}

void BM_Crc32Bytewise(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            qm::UpdateCrc32Bytewise(qm::kCrcPreset, Block().data(), Block().size()));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * Block().size());
}

void BM_Crc32Zlib(benchmark::State& state) {
    const auto* bytes = reinterpret_cast<const Bytef*>(Block().data());
    for (auto _ : state)
        benchmark::DoNotOptimize(crc32(0, bytes, static_cast<uInt>(Block().size())));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * Block().size());
}

void BM_Crc32Libdeflate(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(libdeflate_crc32(0, Block().data(), Block().size()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * Block().size());
}

BENCHMARK(BM_Crc32Builder);
BENCHMARK(BM_Crc32Libdeflate);
BENCHMARK(BM_Crc32Bytewise);
BENCHMARK(BM_Crc32Zlib);

}  // namespace

BENCHMARK_MAIN();
