#include "conversion/book/BookChapters.h"

#include <cstring>

namespace qm {

TChapterCount DivideBookIntoChapters(TBook& book, const TChapterDetector& detector,
                                     const std::string& prefaceLabel,
                                     const std::function<void()>& checkCancel) {
    constexpr size_t kCheckEvery = size_t{1} << 20;
    book.sections.clear();
    TChapterCount count;
    const std::string_view text = book.text;
    size_t bodyStart = 0;  // where the text of the section being read starts
    std::vector<TBookSection> sections;
    auto closeSection = [&](size_t end) {
        const std::string_view body = text.substr(bodyStart, end - bodyStart);
        if (!sections.empty()) {
            AppendParagraphs(body, sections.back().paragraphs);
            return;
        }
        TBookSection front;
        AppendParagraphs(body, front.paragraphs);
        if (front.paragraphs.empty()) return;
        front.title = front.paragraphs.size() > 3 ? prefaceLabel : book.title;
        sections.push_back(std::move(front));
    };
    size_t start = 0;
    size_t nextCheck = kCheckEvery;
    const char* data = text.data();
    while (start < text.size()) {
        if (checkCancel && start >= nextCheck) {
            checkCancel();
            nextCheck = start + kCheckEvery;
        }
        const size_t end = LineEnd(text, start);
        size_t next = end;
        if (next < text.size())
            next += data[next] == '\r' && next + 1 < text.size() && data[next + 1] == '\n' ? 2 : 1;
        const THeadingKind kind = detector.Classify(text.substr(start, end - start));
        if (kind != THeadingKind::None) {
            closeSection(start);
            TBookSection section;
            section.kind =
                kind == THeadingKind::Volume ? TSectionKind::Volume : TSectionKind::Chapter;
            section.title = std::string(TrimHeadingLine(text.substr(start, end - start)));
            ++(kind == THeadingKind::Volume ? count.volumes : count.chapters);
            sections.push_back(std::move(section));
            bodyStart = next;
        }
        start = next;
    }
    if (!count.Found()) return count;
    closeSection(text.size());
    if (count.chapters == 0) {
        for (TBookSection& section : sections) {
            if (section.kind == TSectionKind::Volume) section.kind = TSectionKind::Chapter;
        }
        std::swap(count.volumes, count.chapters);
    }
    book.sections = std::move(sections);
    return count;
}

std::string PrefaceLabel(const std::string& language) {
    return language.rfind("en", 0) == 0 ? "Preface" : "前言";
}

std::string ChapterCountTextZh(size_t volumes, size_t chapters) {
    const std::string n = std::to_string(chapters) + " 章";
    return "共 " + (volumes == 0 ? n : std::to_string(volumes) + " 卷、" + n);
}

std::string ChapterCountText(size_t volumes, size_t chapters) {
    auto counted = [](size_t n, const char* word) {
        return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
    };
    if (volumes == 0) return "Found " + counted(chapters, "chapter") + ".";
    return "Found " + counted(volumes, "volume") + " and " + counted(chapters, "chapter") + ".";
}

}  // namespace qm
