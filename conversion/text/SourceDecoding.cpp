#include "conversion/text/SourceDecoding.h"

#include <utility>

#include "conversion/text/SourceText.h"

namespace qm {
namespace {

// A load's progress: reading up to kReadShare, then finding the encoding
// (the classic rule checks UTF-8) up to kFoundShare, then decoding.
constexpr int kReadShare = 10;
constexpr int kFoundShare = 35;

}  // namespace

TLoadProgress ProgressShare(const TLoadProgress& progress, int from, int to) {
    return [&progress, from, to](int percent) {
        if (progress) progress(from + percent * (to - from) / 100);
    };
}

TSourceEncoding FindSourceEncoding(std::string_view raw, TDecodingRule rule,
                                   const std::string& asked, const TLoadProgress& progress,
                                   size_t sliceSize) {
    if (rule == TDecodingRule::CodePage936) return FindCodePageEncoding(raw, progress, sliceSize);
    if (!asked.empty()) return {asked};
    TSourceEncoding found;
    found.name = DetectBookEncoding(raw, &found.guessed);
    return found;
}

TDecodedText DecodeSource(std::string raw, const TSourceEncoding& encoding, TDecodingRule rule,
                          const TLoadProgress& progress, int threads, size_t sliceSize) {
    if (rule == TDecodingRule::CodePage936) {
        return {DecodeToCodePage(std::move(raw), encoding, progress, sliceSize)};
    }
    return DecodeBookText(raw, encoding.name, progress, threads);
}

TDecodedText LoadSource(TStream& file, const std::string& path, TDecodingRule rule,
                        const TLoadProgress& progress, int threads, size_t sliceSize) {
    // Each step reports its own 0..100 as its share of the whole load.
    auto share = [&progress](int from, int to) { return ProgressShare(progress, from, to); };
    std::string raw = ReadSourceFile(file, path, share(0, kReadShare), sliceSize);
    const TSourceEncoding encoding =
        FindSourceEncoding(raw, rule, {}, share(kReadShare, kFoundShare), sliceSize);
    return DecodeSource(std::move(raw), encoding, rule, share(kFoundShare, 100), threads,
                        sliceSize);
}

}  // namespace qm
