#include "conversion/book/BookChapters.h"

#include <algorithm>
#include <optional>

#include "conversion/book/HeadingPlan.h"

namespace qm {

namespace {

TSectionKind SectionKindOf(THeadingKind kind) {
    return kind == THeadingKind::Chapter ? TSectionKind::Chapter : TSectionKind::Volume;
}

// The sections one heading line opens: one, or a volume and its chapter
// written on one line (a season, its volume and its chapter). A volume
// that repeats the one before ("卷一 ◎..." on every entry) is not repeated.
struct TSectionMarks {
    std::vector<THeadingKind> kinds;  // None for a page without a heading
    std::vector<bool> backMatter;
    void Add(THeadingKind kind, bool back) {
        kinds.push_back(kind);
        backMatter.push_back(back);
    }
};

void AddHeadingSections(const THeadingLine& line, std::vector<TBookSection>& sections,
                        TSectionMarks& marks, std::string& volume) {
    THeading h = line.heading;
    std::string_view s =
        h.bodyAt > 0 ? TrimHeadingLine(line.trimmed.substr(0, h.bodyAt)) : line.trimmed;
    for (;;) {
        const std::string_view own = h.innerAt > 0 ? TrimHeadingLine(s.substr(0, h.innerAt)) : s;
        TBookSection section;
        section.kind = SectionKindOf(h.kind);
        section.title = TocTitle(own, h);
        if (section.title != own) section.heading = std::string(own);
        const bool repeated = h.innerAt > 0 && section.title == volume;
        if (h.kind != THeadingKind::Chapter) volume = section.title;
        if (!repeated) {
            sections.push_back(std::move(section));
            marks.Add(h.kind, (h.marks & kMarkBackMatter) != 0);
        }
        if (h.innerAt == 0) break;
        s = s.substr(h.innerAt);
        if (s.starts_with("◎")) s = TrimHeadingLine(s.substr(3));
        h = BuiltInHeading(s);
        if (h.kind == THeadingKind::None) h.kind = THeadingKind::Chapter;  // "卷一 ◎title"
    }
    if (line.heading.bodyAt > 0)
        sections.back().paragraphs.push_back({line.trimmed.substr(line.heading.bodyAt)});
}

// Where the heading's body starts: after its line, and after the next line
// of text too when that only repeats the heading or its title.
size_t BodyStart(std::string_view text, const THeadingLine& line, size_t limit) {
    size_t start = line.next;
    while (start < limit) {
        const size_t end = LineEnd(text, start);
        const std::string_view next = TrimHeadingLine(text.substr(start, end - start));
        const size_t after =
            end < text.size() ? end + (text.substr(end, 2) == "\r\n" ? 2 : 1) : end;
        if (next.empty()) {
            start = after;
            continue;
        }
        // The heading, or the end of it: its title, or the chapter of a
        // volume-and-chapter line.
        const std::string key = HeadingKey(next);
        const bool repeat = key.size() >= 3 && HeadingKey(line.trimmed).ends_with(key);
        return repeat && after <= limit ? after : line.next;
    }
    return line.next;
}

// True when one of the paragraphs is the book's title (spaces and case
// aside): the text before the first heading is then the source's own title
// page, not a preface.
bool HoldsTitle(const std::vector<TParagraph>& paragraphs, const std::string& title) {
    const std::string key = HeadingKey(title);
    return !key.empty() && std::ranges::any_of(paragraphs, [&key](const TParagraph& p) {
        return HeadingKey(p.text) == key;
    });
}

// Counts the volumes and chapters (a book with only volumes gets them as
// chapters) and gives each section its nesting level.
TChapterCount CountAndNest(std::vector<TBookSection>& sections, TSectionMarks& marks) {
    TChapterCount count;
    for (const TBookSection& section : sections) {
        if (section.kind != TSectionKind::Part)
            ++(section.kind == TSectionKind::Volume ? count.volumes : count.chapters);
    }
    if (count.chapters == 0) {
        for (TBookSection& section : sections) {
            if (section.kind == TSectionKind::Volume) section.kind = TSectionKind::Chapter;
        }
        std::swap(count.volumes, count.chapters);
        for (THeadingKind& kind : marks.kinds) {
            if (kind != THeadingKind::None) kind = THeadingKind::Chapter;
        }
    }
    const std::vector<int> levels = HeadingLevels(marks.kinds, marks.backMatter);
    for (size_t k = 0; k < sections.size(); ++k) sections[k].level = levels[k];
    return count;
}

}  // namespace

TChapterCount DivideBookIntoChapters(TBook& book, const TChapterDetector& detector,
                                     const std::function<void()>& checkCancel) {
    book.sections.clear();
    const std::string_view text = book.text;
    std::vector<THeadingLine> lines = FindHeadingLines(text, detector, checkCancel);
    const TContentsBlock contents = JudgeHeadings(lines);
    PromoteGroupTitles(lines, text);
    FindStoryTitles(lines, text);
    std::erase_if(lines, [](const THeadingLine& line) { return !line.keep; });
    if (lines.empty()) return {};

    std::vector<TBookSection> sections;
    TSectionMarks marks;
    std::optional<size_t> preface, contentsPage;
    size_t bodyStart = 0;  // where the text of the section being read starts
    auto closeSection = [&](size_t end) {
        if (end <= bodyStart) return;
        const std::string_view body = text.substr(bodyStart, end - bodyStart);
        if (!sections.empty()) {
            AppendParagraphs(body, sections.back().paragraphs);
            return;
        }
        TBookSection front;
        AppendParagraphs(body, front.paragraphs);
        if (front.paragraphs.empty()) return;
        if (front.paragraphs.size() > 3 && !HoldsTitle(front.paragraphs, book.title)) {
            preface = sections.size();
        } else {
            front.title = book.title;
        }
        sections.push_back(std::move(front));
        marks.Add(THeadingKind::None, false);
    };
    bool contentsDue = contents.found;
    std::string volume;
    for (size_t k = 0; k < lines.size(); ++k) {
        const THeadingLine& line = lines[k];
        if (contentsDue && contents.start <= line.start) {
            closeSection(contents.start);
            TBookSection page;
            page.title = contents.label;
            if (page.title.empty()) contentsPage = sections.size();
            AppendParagraphs(text.substr(contents.start, contents.end - contents.start),
                             page.paragraphs);
            sections.push_back(std::move(page));
            marks.Add(THeadingKind::None, false);
            bodyStart = contents.end;
            contentsDue = false;
        }
        closeSection(line.start);
        AddHeadingSections(line, sections, marks, volume);
        bodyStart = BodyStart(text, line, k + 1 < lines.size() ? lines[k + 1].start : text.size());
    }
    closeSection(text.size());

    book.sections = std::move(sections);
    TChapterCount count = CountAndNest(book.sections, marks);
    count.preface = preface;
    count.contents = contentsPage;
    return count;
}

std::string PrefaceLabel(const std::string& language) {
    return language.rfind("en", 0) == 0 ? "Preface" : "前言";
}

void LabelByLanguage(TBook& book, const TChapterCount& found) {
    if (found.preface) book.sections[*found.preface].title = PrefaceLabel(book.language);
    if (found.contents) book.sections[*found.contents].title = ContentsLabelFor(book.language);
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
