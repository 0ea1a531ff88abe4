// Throughput of the buffered file stream for the transfer sizes the archive
// build uses: 65535-byte deflate blocks, 16 KiB copy chunks and small header
// writes and reads.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/TempDir.h"
#include "zip/BufferedStream.h"

namespace {

constexpr int64_t kTotal = 100 * 1024 * 1024;

void WriteInChunks(benchmark::State& state) {
    const int64_t chunk = state.range(0);
    const std::string path = qm::TempDirPath() + "bench-write";
    std::vector<char> data(static_cast<size_t>(chunk), 'q');
    for (auto _ : state) {
        qm::TBufferedFileStream out(path, qm::fmCreate);
        for (int64_t done = 0; done < kTotal; done += chunk) out.Write(data.data(), chunk);
        out.Flush();
    }
    state.SetBytesProcessed(state.iterations() * kTotal);
    ::unlink(path.c_str());
}
BENCHMARK(WriteInChunks)->Arg(46)->Arg(16384)->Arg(65535)->Unit(benchmark::kMillisecond);

void ReadInChunks(benchmark::State& state) {
    const int64_t chunk = state.range(0);
    const std::string path = qm::TempDirPath() + "bench-read";
    {
        std::vector<char> block(1 << 20, 'r');
        qm::TBufferedFileStream out(path, qm::fmCreate);
        for (int i = 0; i < kTotal / (1 << 20); ++i) out.Write(block.data(), 1 << 20);
    }
    std::vector<char> data(static_cast<size_t>(chunk));
    for (auto _ : state) {
        qm::TBufferedFileStream in(path, qm::fmOpenRead);
        while (in.Read(data.data(), chunk) > 0) {
        }
    }
    state.SetBytesProcessed(state.iterations() * kTotal);
    ::unlink(path.c_str());
}
BENCHMARK(ReadInChunks)->Arg(30)->Arg(16384)->Arg(65535)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
