#include "conversion/Epub3Writer.h"

#include <algorithm>
#include <cerrno>

#include "conversion/BookIdentifier.h"
#include "conversion/Epub3Documents.h"
#include "platform/Exceptions.h"
#include "platform/FileStream.h"
#include "platform/FileSystem.h"
#include "platform/Format.h"
#include "zip/ZipBuilder.h"

namespace qm {
namespace {

constexpr const char* kContainer =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<container version=\"1.0\" xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\">\n"
    "<rootfiles>\n"
    "<rootfile full-path=\"OEBPS/content.opf\" media-type=\"application/oebps-package+xml\"/>\n"
    "</rootfiles>\n</container>\n";
constexpr const char* kXhtml = "application/xhtml+xml";
constexpr const char* kPageCss = "../css/book.css";

void WriteFile(const std::string& path, std::string_view bytes) {
    TFileStream file(path, fmCreate);
    file.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
}

// The text pages of the book: each section starts a page, and a page that
// would grow past kMaxPageBytes continues on the next one.
class TPageSet {
  public:
    TPageSet(const TBook& book, const std::string& textDir,
             const std::function<void(int)>& progress)
        : book_(book), textDir_(textDir), progress_(progress) {}

    void WriteSection(const TBookSection& section) {
        Start(section.title);
        if (section.kind != TSectionKind::Part) {
            const char* tag = section.kind == TSectionKind::Volume ? "h1" : "h2";
            page_ += Format("<%s>", tag) + XmlUtf8(section.title) + Format("</%s>\n", tag);
        }
        std::string paragraph;
        for (const TParagraph& p : section.paragraphs) {
            paragraph.assign(p.afterBlank ? "<p class=\"gap\">" : "<p>");
            AppendXmlUtf8(paragraph, p.text);
            paragraph += "</p>\n";
            if (Fits(paragraph.size())) {
                page_ += paragraph;
            } else if (headSize_ + paragraph.size() + kPageTail.size() <= kMaxPageBytes) {
                Flush(p.text.data());
                Start(section.title);
                page_ += paragraph;
            } else {
                WriteLongParagraph(section.title, p);
            }
        }
        const std::string_view last =
            section.paragraphs.empty() ? std::string_view() : section.paragraphs.back().text;
        Flush(last.empty() ? nullptr : last.data() + last.size());
    }

    // Hrefs and ids of the pages written, relative to the package document.
    std::vector<std::string> hrefs, ids;

  private:
    bool Fits(size_t more) const { return page_.size() + more + kPageTail.size() <= kMaxPageBytes; }

    void Start(const std::string& title) {
        page_ = PageHead(book_.language, title, kPageCss);
        headSize_ = page_.size();
    }

    // A line larger than a page alone is cut between characters, the
    // pieces after the first set without an indent.
    void WriteLongParagraph(const std::string& title, const TParagraph& p) {
        if (page_.size() > headSize_) {
            Flush(p.text.data());
            Start(title);
        }
        const size_t budget = kMaxPageBytes - headSize_ - kPageTail.size() - 32;
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
            page_ += first ? (p.afterBlank ? "<p class=\"gap\">" : "<p>") : "<p class=\"cont\">";
            AppendXmlUtf8(page_, rest.substr(0, end));
            page_ += "</p>\n";
            rest.remove_prefix(end);
            first = false;
            if (!rest.empty()) {
                Flush(rest.data());
                Start(title);
            }
        }
    }

    void Flush(const char* reached) {
        page_ += kPageTail;
        const size_t number = hrefs.size() + 1;
        hrefs.push_back(Format("text/p%05zu.xhtml", number));
        ids.push_back(Format("p%05zu", number));
        WriteFile(textDir_ + Format("/p%05zu.xhtml", number), page_);
        page_.clear();
        if (progress_ && reached && !book_.text.empty()) {
            progress_(static_cast<int>((reached - book_.text.data()) * int64_t{100} /
                                       static_cast<int64_t>(book_.text.size())));
        }
    }

    const TBook& book_;
    std::string textDir_;
    const std::function<void(int)>& progress_;
    std::string page_;
    size_t headSize_ = 0;
};

}  // namespace

std::vector<std::string> WriteEpub3Tree(const TBook& book, const TEpub3Extras& extras,
                                        const std::string& dir,
                                        const std::function<void(int)>& progress) {
    const std::string oebps = dir + "/OEBPS";
    for (const std::string& sub : {dir + "/META-INF", oebps, oebps + "/css", oebps + "/text",
                                   oebps + "/images", oebps + "/fonts"}) {
        if (!MakeDirectory(sub)) throw EFCreateError(CreateErrorText(sub, errno));
    }
    WriteFile(dir + "/mimetype", "application/epub+zip");
    WriteFile(dir + "/META-INF/container.xml", kContainer);

    TPackageInfo info;
    info.identifier = extras.identifier;
    info.modified = Iso8601Utc(extras.timestamp);
    info.vertical = extras.vertical;
    std::vector<std::string> files = {"mimetype",          "META-INF/container.xml",
                                      "OEBPS/content.opf", "OEBPS/toc.ncx",
                                      "OEBPS/nav.xhtml",   "OEBPS/css/book.css"};
    info.items.push_back({"nav", "nav.xhtml", kXhtml, "nav"});
    info.items.push_back({"ncx", "toc.ncx", "application/x-dtbncx+xml", ""});
    info.items.push_back({"css", "css/book.css", "text/css", ""});

    // A cover image or a font goes into the book as one more manifest item.
    auto embed = [&](const auto& resource, const std::string& stem, const std::string& id,
                     const std::string& properties) {
        const std::string href = stem + resource.extension;
        WriteFile(oebps + "/" + href, resource.bytes);
        files.push_back("OEBPS/" + href);
        info.items.push_back({id, href, resource.mediaType, properties});
        return href;
    };
    const std::string imageHref =
        extras.cover ? embed(*extras.cover, "images/cover", "cover-image", "cover-image") : "";
    if (extras.cover) info.coverImageId = "cover-image";
    const std::string fontHref = extras.font ? embed(*extras.font, "fonts/book", "font", "") : "";
    WriteFile(oebps + "/css/book.css", BookStyleSheet(book.language, extras.vertical,
                                                      fontHref.empty() ? "" : "../" + fontHref));

    WriteFile(oebps + "/cover.xhtml",
              CoverPage(book, "css/book.css", imageHref, extras.cover ? extras.cover->width : 0,
                        extras.cover ? extras.cover->height : 0));
    WriteFile(oebps + "/title.xhtml", TitlePage(book, "css/book.css"));
    files.insert(files.end(), {"OEBPS/cover.xhtml", "OEBPS/title.xhtml"});
    info.items.push_back({"cover", "cover.xhtml", kXhtml, extras.cover ? "" : "svg"});
    info.items.push_back({"titlepage", "title.xhtml", kXhtml, ""});
    info.spine = {"cover", "titlepage", "nav"};

    TPageSet pages(book, oebps + "/text", progress);
    std::vector<TTocEntry> toc;
    bool inVolume = false;
    for (const TBookSection& section : book.sections) {
        const size_t first = pages.hrefs.size();
        pages.WriteSection(section);
        if (section.kind == TSectionKind::Volume) inVolume = true;
        if (section.kind == TSectionKind::Part) inVolume = false;
        const int level = section.kind == TSectionKind::Chapter && inVolume ? 1 : 0;
        toc.push_back({section.title, pages.hrefs[first], level});
    }
    for (size_t k = 0; k < pages.hrefs.size(); ++k) {
        files.push_back("OEBPS/" + pages.hrefs[k]);
        info.items.push_back({pages.ids[k], pages.hrefs[k], kXhtml, ""});
        info.spine.push_back(pages.ids[k]);
    }

    WriteFile(oebps + "/content.opf", PackageDocument(book, info));
    WriteFile(oebps + "/toc.ncx", NcxDocument(book, extras.identifier, toc));
    WriteFile(oebps + "/nav.xhtml",
              NavigationDocument(book, toc, "cover.xhtml", "title.xhtml", pages.hrefs.front()));
    return files;
}

void PackEpub3Tree(TZipBuilder& zip, const std::string& dir, const std::vector<std::string>& files,
                   const std::string& archiveName, uint32_t dosDateTime) {
    zip.SetRootDir(dir);
    zip.SetRelativePaths(true);
    zip.SetStorePaths(true);
    zip.SetRecurse(false);
    zip.SetZipName(archiveName);
    zip.SetZipAction(zaReplace);
    // A new book every time: nothing of an earlier one at that path survives
    // in it, and mimetype stays the first entry.
    zip.SetFreshArchive(true);
    // Listed one by one, the files keep this order in the archive.
    zip.FilesList().clear();
    for (const std::string& file : files) zip.FilesList().push_back(zip.RootDir() + file);
    // Readers sniff the type from the bytes at offset 30: the mimetype
    // entry's name and its stored content.
    zip.NoCompressList() = {"mimetype"};
    auto saved = std::move(zip.OnStartZip);
    zip.OnStartZip = [dosDateTime](TZipBuilder&, const std::string&, TZipHeaderInfo& header,
                                   bool&) { header.LastModFileDateTime = dosDateTime; };
    try {
        zip.BuildArchive();
    } catch (...) {
        zip.OnStartZip = std::move(saved);
        zip.NoCompressList().clear();
        throw;
    }
    zip.OnStartZip = std::move(saved);
    zip.NoCompressList().clear();
}

}  // namespace qm
