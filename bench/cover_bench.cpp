// The drawn cover's time for titles far beyond a title: a 415 KB text of
// paragraphs (U+2029 between them) that ended up as one, and 8,000 lines
// typed into the title field; a plain title and the longest one set for
// reference. Each draws the
// whole cover, as a run does.
#include <benchmark/benchmark.h>

#include <string>

#include "conversion/book/TitleLine.h"
#include "conversion/layout/CoverImage.h"

namespace {

std::string Paragraphs() {
    std::string text;
    for (int k = 0; text.size() < 415 * 1024; ++k) {
        text += k ? "\u2029" : "";
        text += "第" + std::to_string(k) + "段天地玄黄宇宙洪荒日月盈昃辰宿列张寒来暑往秋收冬藏";
    }
    return text;
}

std::string Lines() {
    std::string text;
    for (int k = 0; k < 8000; ++k) text += "第" + std::to_string(k) + "行标题\n";
    return text;
}

void DrawWith(benchmark::State& state, const std::string& title) {
    for (auto _ : state) benchmark::DoNotOptimize(qm::DrawCover(title, "某某", "zh-Hans"));
    state.SetLabel(std::to_string(title.size()) + " bytes given, " +
                   std::to_string(qm::TitleLine(title).size()) + " set");
}

void BM_CoverOf415KbParagraphs(benchmark::State& state) {
    DrawWith(state, Paragraphs());
}
void BM_CoverOf8000Lines(benchmark::State& state) {
    DrawWith(state, Lines());
}
void BM_CoverOfPlainTitle(benchmark::State& state) {
    DrawWith(state, "斗罗大陆，唐门英雄传");
}
// The longest title set: 200 characters, broken into five lines.
void BM_CoverOfLongestTitle(benchmark::State& state) {
    std::string title;
    for (int k = 0; k < 20; ++k) title += "天地玄黄宇宙洪荒，";
    DrawWith(state, title);
}

BENCHMARK(BM_CoverOf415KbParagraphs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CoverOf8000Lines)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CoverOfPlainTitle)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CoverOfLongestTitle)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
