// Dividing a book at its headings, apart from reading and writing it: a
// generated 10 MB UTF-8 novel of 4,000 chapters in 40 volumes, with the
// built-in rules and with a user's pattern. Reports bytes and chapters per
// second.
#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "conversion/book/BookChapters.h"

namespace {

const std::string& Novel() {
    static const std::string text = [] {
        std::mt19937 random(7);
        const std::string words[] = {"海风",   "灯塔", "第二天",   "他说", "慢慢地",
                                     "远处的", "渔火", "第三节课", "前言", "卷帘门",
                                     "作者",   "正文", "一"};
        std::string out;
        for (int chapter = 1; chapter <= 4000; ++chapter) {
            if (chapter % 100 == 1)
                out += "第" + std::to_string(chapter / 100 + 1) + "卷　风起\r\n";
            out += "第" + std::to_string(chapter) + "章　归来\r\n";
            while (out.size() < static_cast<size_t>(chapter) * 2500) {
                out += "　　";
                for (int w = 0, n = 5 + static_cast<int>(random() % 60); w < n; ++w)
                    out += words[random() % std::size(words)];
                out += "。\r\n";
            }
        }
        return out;
    }();
    return text;
}

void Divide(benchmark::State& state, const qm::TChapterDetector& detector) {
    qm::TBook book;
    book.title = "bench";
    book.text = Novel();
    size_t chapters = 0;
    for (auto _ : state) {
        const qm::TChapterCount count = qm::DivideBookIntoChapters(book, detector);
        chapters += count.chapters;
        benchmark::DoNotOptimize(book.sections.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * book.text.size()));
    state.counters["chapters/s"] =
        benchmark::Counter(static_cast<double>(chapters), benchmark::Counter::kIsRate);
}

void BM_DivideBuiltIn(benchmark::State& state) {
    Divide(state, qm::TChapterDetector());
}

void BM_DividePattern(benchmark::State& state) {
    Divide(state, qm::TChapterDetector("^第\\d+章", "^第\\d+卷"));
}

void BM_DivideUnanchoredPattern(benchmark::State& state) {
    Divide(state, qm::TChapterDetector("第\\d+章", "第\\d+卷"));
}

}  // namespace

BENCHMARK(BM_DivideBuiltIn)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DividePattern)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DivideUnanchoredPattern)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
