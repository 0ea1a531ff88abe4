#include "conversion/run/Epub3Writer.h"

#include <algorithm>
#include <optional>

#include "conversion/book/BookIdentifier.h"
#include "conversion/layout/CoverImage.h"
#include "conversion/layout/Epub3Documents.h"
#include "conversion/layout/Epub3Paragraph.h"
#include "conversion/layout/EpubTemplates.h"
#include "conversion/run/BookPacking.h"
#include "conversion/run/BookTarget.h"
#include "conversion/run/PoolRendering.h"
#include "platform/Format.h"

namespace qm {
namespace {

constexpr const char* kXhtml = "application/xhtml+xml";
constexpr const char* kPageCss = "../css/book.css";

// The text pages of the book: each section starts a page, and a page that
// would grow past kMaxPageBytes continues on the next one.
class TPageSet {
  public:
    TPageSet(const TBook& book, bool vertical) : book_(book), vertical_(vertical) {}

    void WriteSection(const TBookSection& section) {
        Start(section.title);
        if (section.kind != TSectionKind::Part) {
            WriteEpub3Heading(page_, section.kind == TSectionKind::Volume ? "h1" : "h2",
                              section.heading.empty() ? section.title : section.heading, vertical_);
        }
        std::string paragraph;
        for (const TParagraph& p : section.paragraphs) {
            paragraph.clear();
            WriteEpub3Paragraph(paragraph, Epub3ParagraphClass(p.text, p.afterBlank), p.text,
                                vertical_);
            if (Fits(paragraph.size())) {
                page_ += paragraph;
            } else if (headSize_ + paragraph.size() + frame_.tail.size() <= kMaxPageBytes) {
                Flush();
                Start(section.title);
                page_ += paragraph;
            } else {
                WriteLongParagraph(section.title, p);
            }
        }
        Flush();
    }

    // The pages in order, each complete.
    std::vector<std::string> pages;

  private:
    bool Fits(size_t more) const {
        return page_.size() + more + frame_.tail.size() <= kMaxPageBytes;
    }

    void Start(const std::string& title) {
        frame_ = Epub3PageFrame(book_.language, title, kPageCss);
        page_ = frame_.head;
        headSize_ = page_.size();
    }

    // A line larger than a page alone is cut between characters, the
    // pieces after the first set without an indent.
    void WriteLongParagraph(const std::string& title, const TParagraph& p) {
        if (page_.size() > headSize_) {
            Flush();
            Start(title);
        }
        const size_t budget = kMaxPageBytes - headSize_ - frame_.tail.size() - 32;
        std::string_view rest = p.text;
        bool first = true;
        while (!rest.empty()) {
            size_t end = 0, escaped = 0;
            while (end < rest.size()) {
                size_t length = 1;
                const auto lead = static_cast<unsigned char>(rest[end]);
                if (lead >= 0xF0)
                    length = 4;
                else if (lead >= 0xE0)
                    length = 3;
                else if (lead >= 0xC0)
                    length = 2;
                const size_t cost = lead == '&'                  ? 5
                                    : lead == '<' || lead == '>' ? 4
                                    : lead == '"'                ? 6
                                                                 : length;
                if (escaped + cost > budget) break;
                escaped += cost;
                end = std::min(rest.size(), end + length);
            }
            WriteEpub3Paragraph(page_, first ? (p.afterBlank ? "gap" : nullptr) : "cont",
                                rest.substr(0, end), vertical_);
            rest.remove_prefix(end);
            first = false;
            if (!rest.empty()) {
                Flush();
                Start(title);
            }
        }
    }

    void Flush() {
        page_ += frame_.tail;
        pages.push_back(std::move(page_));
        page_.clear();
    }

    const TBook& book_;
    bool vertical_;
    TPageFrame frame_;
    std::string page_;
    size_t headSize_ = 0;
};

// A run of consecutive sections whose pages one worker renders.
struct TSectionBatch {
    size_t first = 0, end = 0;         // sections [first, end)
    size_t reached = 0;                // bytes of the text up to the batch's end
    std::vector<TBookFile> pages;      // the batch's pages, in order, unnamed
    std::vector<size_t> sectionPages;  // pages of each section
};

// Sections are batched up to this many bytes of text, so a book of
// thousands of short chapters costs a few hundred tasks, not thousands.
constexpr size_t kBatchText = size_t{256} << 10;

std::vector<TSectionBatch> BatchSections(const TBook& book) {
    std::vector<TSectionBatch> batches;
    // Text counts from where the batch before ended, so a batch holds about
    // kBatchText however far into the book it starts.
    size_t text = 0, reached = 0;
    for (size_t k = 0; k < book.sections.size(); ++k) {
        if (batches.empty() || text >= kBatchText) {
            batches.emplace_back();
            batches.back().first = k;
            text = 0;
        }
        TSectionBatch& batch = batches.back();
        batch.end = k + 1;
        const auto& paragraphs = book.sections[k].paragraphs;
        if (!paragraphs.empty()) {
            const std::string_view last = paragraphs.back().text;
            const size_t end = static_cast<size_t>(last.data() + last.size() - book.text.data());
            text += end - std::min(end, reached);
            reached = std::max(reached, end);
        }
        batch.reached = reached;
    }
    return batches;
}

void RenderBatch(const TBook& book, bool vertical, bool deflate, TSectionBatch& batch) {
    TPageSet set(book, vertical);
    for (size_t k = batch.first; k < batch.end; ++k) {
        const size_t before = set.pages.size();
        set.WriteSection(book.sections[k]);
        batch.sectionPages.push_back(set.pages.size() - before);
    }
    batch.pages.reserve(set.pages.size());
    for (std::string& page : set.pages) {
        TBookFile file;
        if (deflate) {
            file.deflated = DeflateAhead(page, TPacking::Deflate, kBookDeflateLevel);
            std::string().swap(page);
        } else {
            file.bytes = std::move(page);
        }
        batch.pages.push_back(std::move(file));
    }
}

// The sections' pages, rendered by workers batch by batch while the
// calling thread takes each batch in order, telling progress (which may
// raise to stop the run) after each.
// sectionFirst gets each section's first page. One thread renders on the
// calling thread.
std::vector<TBookFile> RenderPages(const TBook& book, const TEpub3Extras& extras, int threads,
                                   const std::function<void(int)>& progress,
                                   std::vector<size_t>& sectionFirst) {
    std::vector<TSectionBatch> batches = BatchSections(book);
    std::vector<TBookFile> pages;
    int percent = 0;
    auto collect = [&](TSectionBatch& batch) {
        size_t next = 0;
        for (size_t count : batch.sectionPages) {
            sectionFirst.push_back(pages.size());
            for (size_t k = 0; k < count; ++k) pages.push_back(std::move(batch.pages[next++]));
        }
        std::vector<TBookFile>().swap(batch.pages);
        if (!book.text.empty()) {
            percent = static_cast<int>(batch.reached * uint64_t{100} / book.text.size());
        }
        if (progress) progress(percent);
    };
    RenderInOrder(
        batches.size(), threads,
        [&](size_t k) { RenderBatch(book, extras.vertical, extras.deflatePages, batches[k]); },
        [&](size_t k) { collect(batches[k]); });
    return pages;
}

std::string PageName(size_t number) {
    return Format("p%05zu", number);
}

// A cover image or a font goes into the book as one more manifest item;
// returns its place in the package.
std::string Embed(std::vector<TBookFile>& files, TPackageInfo& info, const TBookResource& resource,
                  const std::string& stem, const std::string& id, const std::string& properties) {
    const std::string href = stem + resource.extension;
    files.push_back({"OEBPS/" + href, resource.bytes});
    info.items.push_back({id, href, resource.mediaType, properties});
    return href;
}

// The cover and title pages, first in the spine; the cover page shows the
// cover image.
void AddFrontPages(std::vector<TBookFile>& files, TPackageInfo& info, const TBook& book,
                   const TBookResource& cover, bool vertical, const std::string& imageHref) {
    files.push_back({"OEBPS/cover.xhtml", CoverPage(book, "css/book.css", imageHref, cover.width,
                                                    cover.height, vertical)});
    files.push_back({"OEBPS/title.xhtml", TitlePage(book, "css/book.css", vertical)});
    info.items.push_back({"cover", "cover.xhtml", kXhtml, ""});
    info.items.push_back({"titlepage", "title.xhtml", kXhtml, ""});
    info.spine = {"cover", "titlepage", "nav"};
}

// The text pages, in reading order, into the archive, manifest and spine.
void AddTextPages(std::vector<TBookFile>& files, TPackageInfo& info, std::vector<TBookFile> pages) {
    for (size_t k = 0; k < pages.size(); ++k) {
        const std::string id = PageName(k + 1);
        const std::string href = "text/" + id + ".xhtml";
        pages[k].name = "OEBPS/" + href;
        files.push_back(std::move(pages[k]));
        info.items.push_back({id, href, kXhtml, ""});
        info.spine.push_back(id);
    }
}

// One entry per section, pointing at the page where it starts.
std::vector<TTocEntry> TableOfContents(const TBook& book, const std::vector<size_t>& sectionFirst) {
    std::vector<TTocEntry> toc;
    const std::vector<int> levels = SectionLevels(book.sections);
    for (size_t k = 0; k < book.sections.size(); ++k) {
        toc.push_back({book.sections[k].title, "text/" + PageName(sectionFirst[k] + 1) + ".xhtml",
                       levels[k]});
    }
    return toc;
}

}  // namespace

std::vector<TBookFile> RenderEpub3Files(const TBook& book, const TEpub3Extras& extras, int threads,
                                        const std::function<void(int)>& progress) {
    std::vector<size_t> sectionFirst;
    // Without the user's cover, one drawn from the title and author: readers'
    // libraries show a book by its cover image. Drawn here before the pages,
    // so its canvas is gone before they take their memory.
    std::optional<TBookResource> drawn;
    if (!extras.cover && !extras.drawnCover)
        drawn = DrawCoverImage(book.title, book.author, book.language);
    std::vector<TBookFile> pages = RenderPages(book, extras, threads, progress, sectionFirst);
    if (!extras.cover && !drawn) drawn = extras.drawnCover();
    const TBookResource& cover = extras.cover ? *extras.cover : *drawn;

    TPackageInfo info;
    info.identifier = extras.identifier;
    info.modified = Iso8601Utc(extras.timestamp);
    info.vertical = extras.vertical;
    info.items.push_back({"nav", "nav.xhtml", kXhtml, "nav"});
    info.items.push_back({"ncx", "toc.ncx", "application/x-dtbncx+xml", ""});
    info.items.push_back({"css", "css/book.css", "text/css", ""});

    std::vector<TBookFile> files;
    files.reserve(pages.size() + 10);
    files.push_back({"mimetype", std::string(kMimetypeText)});
    files.push_back({"META-INF/container.xml", ContainerDocument(LayoutFor(TBookKind::Epub3))});
    // The package, navigation and style documents are filled in last, when
    // the pages are known; their places in the archive come first.
    const size_t opf = files.size(), ncx = opf + 1, nav = opf + 2, css = opf + 3;
    for (const char* name :
         {"OEBPS/content.opf", "OEBPS/toc.ncx", "OEBPS/nav.xhtml", "OEBPS/css/book.css"}) {
        files.push_back({name, ""});
    }

    const std::string imageHref =
        Embed(files, info, cover, "images/cover", "cover-image", "cover-image");
    info.coverImageId = "cover-image";
    const std::string fontHref =
        extras.font ? Embed(files, info, *extras.font, "fonts/book", "font", "") : "";
    files[css].bytes =
        BookStyleSheet(book.language, extras.vertical, fontHref.empty() ? "" : "../" + fontHref);
    AddFrontPages(files, info, book, cover, extras.vertical, imageHref);
    const std::vector<TTocEntry> toc = TableOfContents(book, sectionFirst);
    AddTextPages(files, info, std::move(pages));

    // Each of these lists every page: for thousands of chapters a few
    // milliseconds each, with a stop looked for in between.
    auto tell = [&progress] {
        if (progress) progress(100);
    };
    tell();
    files[opf].bytes = PackageDocument(book, info);
    tell();
    files[ncx].bytes = NcxDocument(book, extras.identifier, toc);
    tell();
    files[nav].bytes = NavigationDocument(book, toc, "cover.xhtml", "title.xhtml",
                                          "text/" + PageName(1) + ".xhtml");
    return files;
}

}  // namespace qm
