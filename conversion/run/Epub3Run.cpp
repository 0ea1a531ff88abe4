#include "conversion/run/Epub3Run.h"

#include <algorithm>
#include <exception>
#include <future>
#include <memory>
#include <optional>

#include "conversion/book/BookChapters.h"
#include "conversion/book/BookIdentifier.h"
#include "conversion/book/BookModel.h"
#include "conversion/book/BookNameParts.h"
#include "conversion/book/FrontMatter.h"
#include "conversion/layout/BookLayout.h"
#include "conversion/layout/BookResources.h"
#include "conversion/layout/CoverImage.h"
#include "conversion/run/BookPacking.h"
#include "conversion/run/BookSplitter.h"
#include "conversion/run/BookTarget.h"
#include "conversion/run/Epub3Writer.h"
#include "conversion/run/FileNames.h"
#include "conversion/run/OptionTable.h"
#include "conversion/text/Boilerplate.h"
#include "conversion/text/BookEncoding.h"
#include "conversion/text/ChineseConvert.h"
#include "conversion/text/SourceDecoding.h"
#include "conversion/text/SourceText.h"
#include "conversion/text/Unwrap.h"
#include "platform/FileSystem.h"
#include "platform/Format.h"
#include "zip/Crc32.h"

namespace qm {
namespace {

// Shares of the Pages progress: reading, decoding, converting, then writing.
constexpr int kReadEnd = 10;
constexpr int kDecodeEnd = 30;
constexpr int kConvertEnd = 50;
constexpr size_t kConvertSlice = size_t{1} << 20;
constexpr size_t kIdentifierPrefix = size_t{64} << 10;

std::function<void(int)> Stage(TConversionUi& ui, int from, int to) {
    return [&ui, from, to](int percent) {
        ui.Progress(TConversionPhase::Pages, from + percent * (to - from) / 100);
        CheckCancel(ui);
    };
}

// Converts the text a slice at a time, each slice ending at a line end, so a
// phrase is never cut and progress (and a stop) is looked at between slices.
std::string ConvertChinese(const std::string& text, const TChineseConverter& converter,
                           const std::function<void(int)>& progress) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', std::min(text.size(), start + kConvertSlice));
        end = end == std::string::npos ? text.size() : end + 1;
        out += converter.Convert(std::string_view(text).substr(start, end - start));
        start = end;
        progress(static_cast<int>(start * uint64_t{100} / text.size()));
    }
    return out;
}

// What besides the source makes the book what it is; part of its identifier.
// A title or author given as the file's name would give it counts as not
// given: a batch names its books so, and the same source must be the same
// book whether converted alone or in a batch.
std::string RequestFingerprint(const TConversionRequest& request, const std::string& encoding,
                               const TBookNameParts& named) {
    // What the file name gives counts as not given, whether typed or left
    // blank, so a book made alone and in a batch get one identifier.
    const auto given = [](const std::string& value, const std::string& fromName) {
        return IsBlankText(value) || value == fromName ? std::string() : value;
    };
    TOptionValues values;
    values.title = given(request.title, named.title);
    values.author = given(request.author, named.author);
    values.parts = request.parts;
    values.epub3 = request.options;
    values.epub3.encoding = encoding;
    return OptionsFingerprint(values);
}

// The source's encoding by the layout's rule: the one asked for, else the
// detector's, with a notice when that was a guess.
TSourceEncoding SourceEncoding(const std::string& raw, const TEpub3Options& options,
                               TConversionUi& ui) {
    const TSourceEncoding found =
        FindSourceEncoding(raw, LayoutFor(TBookKind::Epub3).decoding, options.encoding);
    if (found.guessed) {
        ui.ShowNotice(
            Format("The source's encoding is not marked; it was read as %s. "
                   "If the text looks wrong, give its encoding (--encoding, or "
                   "文本编码 in the window's EPUB 3 options).",
                   found.name.c_str()));
    }
    return found;
}

// The identifier names the source by its size, CRC-32 and first bytes
// rather than a digest of every byte: SHA-1 over a 100 MB book cost a
// twentieth of the run, and two different books that agree on all three do
// not occur by chance.
void DigestSource(TSha1& digest, const std::string& raw, const std::string& fingerprint) {
    const uint32_t crc = Crc32Of(raw.data(), raw.size());
    digest.Update(std::to_string(raw.size()) + ":" + std::to_string(crc) + ":");
    digest.Update(std::string_view(raw).substr(0, kIdentifierPrefix));
    digest.Update(fingerprint);
}

// The source's text in UTF-8; what did not decode is counted in a warning.
std::string DecodedText(std::string raw, const TSourceEncoding& encoding, TConversionUi& ui,
                        int threads) {
    TDecodedText decoded =
        DecodeSource(std::move(raw), encoding, LayoutFor(TBookKind::Epub3).decoding,
                     Stage(ui, kReadEnd, kDecodeEnd), threads);
    if (decoded.replaced > 0) {
        ui.ShowWarning("Quillmark",
                       Format("%lld byte sequences of the source are not valid %s; each was "
                              "replaced with U+FFFD.",
                              static_cast<long long>(decoded.replaced), encoding.name.c_str()));
    }
    return std::move(decoded.text);
}

// Title, author and language, and the text converted between Chinese
// scripts when asked. The title and author come from the request, else from
// the text's own front matter, else from the file's name; one the file's
// name would give counts as not given (a batch names its books so). A title
// or author of spaces and control characters alone would leave the
// package's title empty: it counts as none given. Bytes that are not UTF-8
// are read as the text is, so they never reach a document raw. The front
// matter's lines that say only this title and author leave the text (the
// title page shows them); true when the title's did.
bool CompleteBook(TBook& book, const TConversionRequest& request, const TBookNameParts& named,
                  const TFrontMatter& front, TConversionUi& ui) {
    const TEpub3Options& options = request.options;
    // What the front matter's line says beyond the title stays in the text.
    book.title = ChosenName(request.title, named.title, front.title);
    book.author = ChosenName(request.author, named.author, front.author);
    const bool titleDropped = DropNamingLines(book.text, front, book.title, book.author).title;
    if (!options.convert.empty()) {
        const auto converter = std::make_unique<TChineseConverter>(options.convert);
        book.text = ConvertChinese(book.text, *converter, Stage(ui, kDecodeEnd, kConvertEnd));
        book.title = converter->Convert(book.title);
        book.author = converter->Convert(book.author);
    }
    if (IsBlankText(book.title)) book.title = "Untitled";
    if (IsBlankText(book.author)) book.author.clear();
    return titleDropped;
}

// The book's language: the one asked for, else guessed from the text's first
// part on a thread of its own, so the text is tidied meanwhile.
std::shared_future<std::string> BookLanguage(const TBook& book, const TEpub3Options& options) {
    if (!options.language.empty()) {
        std::promise<std::string> given;
        given.set_value(options.language);
        return given.get_future().share();
    }
    return std::async(std::launch::async,
                      [sample = LanguageSample(book.text)] { return GuessLanguage(sample); })
        .share();
}

// What --clean took out, for the user.
std::string CleanCountText(const TCleanCount& removed) {
    if (removed.lines + removed.addresses == 0)
        return "Clean-up found no site boilerplate to remove.";
    std::string text = Format("Clean-up removed %lld line%s of site boilerplate",
                              static_cast<long long>(removed.lines), removed.lines == 1 ? "" : "s");
    if (removed.addresses > 0) {
        text +=
            Format(" and %lld web address%s stamped on the book's sentences",
                   static_cast<long long>(removed.addresses), removed.addresses == 1 ? "" : "es");
    }
    return text + ".";
}

// The text as a reader expects it: boilerplate out when asked (and said so),
// a line that only repeats the title gone (unless the front matter's went),
// wrapped lines joined.
void TidyText(TBook& book, const std::optional<TChapterDetector>& detector,
              const TEpub3Options& options, bool titleDropped, TConversionUi& ui) {
    if (options.clean) {
        const TCleanCount removed = RemoveBoilerplate(book.text);
        ui.ShowNotice(CleanCountText(removed));
    }
    if (!titleDropped) DropTitleLines(book.text, book.title);
    const TUnwrapMode mode = options.unwrap     ? TUnwrapMode::Always
                             : options.noUnwrap ? TUnwrapMode::Never
                                                : TUnwrapMode::Auto;
    std::function<bool(std::string_view)> isHeading;
    if (detector) {
        isHeading = [&detector](std::string_view line) {
            return detector->Classify(line) != THeadingKind::None;
        };
    }
    ReflowText(book.text, mode, isHeading);
}

// Divides the book at its headings when a detector is given and finds
// some, else cuts it into the request's parts.
TChapterCount DivideBook(TBook& book, const std::optional<TChapterDetector>& detector,
                         const TConversionRequest& request, TConversionUi& ui) {
    TChapterCount found;
    if (detector) {
        found = DivideBookIntoChapters(book, *detector, [&ui] { CheckCancel(ui); });
        if (!found.Found()) {
            ui.ShowWarning("Quillmark",
                           Format("No chapter headings were found; the book is cut into %d "
                                  "parts at line ends instead.",
                                  static_cast<int>(request.parts)));
        }
    }
    if (!found.Found()) {
        found = {};  // no section of the division is left to label
        CutBookIntoParts(book, request.parts, book.title);
    }
    return found;
}

// The book read, decoded, converted and divided as the request asks; the
// digest (when given) takes what makes the book what it is. With drawnCover,
// a cover is drawn from the title, author and language on a thread of its
// own as soon as they are known; the language is waited for then.
TBook ReadBook(const TConversionRequest& request, TConversionUi& ui, TSha1* digest,
               TChapterCount& found, std::future<TDrawnCover>* drawnCover = nullptr) {
    const TEpub3Options& options = request.options;
    if (request.sourceSize < 0 && IsNamedPipe(request.sourcePath)) {
        throw Exception(NamedPipeText(request.sourcePath));
    }
    // A bad pattern fails before the source is read.
    std::optional<TChapterDetector> detector;
    // A stop reaches a pattern that works long on one line.
    if (options.chapters)
        detector.emplace(options.chapterPattern, options.volumePattern, [&ui] { CheckCancel(ui); });

    std::string raw = ReadSourceFile(request.sourcePath, Stage(ui, 0, kReadEnd));
    const TSourceEncoding encoding = SourceEncoding(raw, options, ui);
    const TBookNameParts named = BookNamePartsOf(BaseNameText(request.sourcePath));
    if (digest) DigestSource(*digest, raw, RequestFingerprint(request, encoding.name, named));

    TBook book;
    book.text = DecodedText(std::move(raw), encoding, ui, request.threads);
    const TFrontMatter front = ReadFrontMatter(book.text);
    const bool titleDropped = CompleteBook(book, request, named, front, ui);
    const std::shared_future<std::string> language = BookLanguage(book, options);
    if (drawnCover) {
        // Made ready here, while nothing else of the run is under way: the
        // threads Pango starts to look up the faces then find the room that
        // was checked for them (GLib ends the process when one cannot start).
        auto plan = std::make_shared<const TCoverPlan>(book.title, book.author, language.get());
        *drawnCover = std::async(std::launch::async, [plan] { return plan->Draw(); });
    }
    TidyText(book, detector, options, titleDropped, ui);
    // The language, still being guessed, names only a few labels.
    found = DivideBook(book, detector, request, ui);
    book.language = language.get();
    LabelByLanguage(book, found);
    return book;
}

// The drawn cover's image; what could not be set on it is told.
TBookResource TakeDrawnCover(std::future<TDrawnCover>& drawing, TConversionUi& ui) {
    TDrawnCover drawn = drawing.get();
    if (drawn.titleLeftOut) {
        ui.ShowWarning("Quillmark",
                       "The cover is drawn without the book's title: no installed font has all "
                       "of its characters.");
    }
    if (drawn.authorLeftOut) {
        ui.ShowWarning("Quillmark",
                       "The cover is drawn without the author's name: no installed font has all "
                       "of its characters.");
    }
    return std::move(drawn.image);
}

// The book's files as its archive takes them, in order: the mimetype stored
// (readers sniff the type from its name and content at offset 30), the rest
// deflated from memory, the pages already where they were rendered.
std::vector<TBookEntry> BookEntries(std::vector<TBookFile> files) {
    std::vector<TBookEntry> entries;
    entries.reserve(files.size());
    for (TBookFile& file : files) {
        TBookEntry entry;
        entry.packing = file.name == "mimetype" ? TPacking::Store : TPacking::Deflate;
        entry.name = std::move(file.name);
        entry.bytes = std::move(file.bytes);
        entry.deflated = std::move(file.deflated);
        entries.push_back(std::move(entry));
    }
    return entries;
}

TBookReport BuildBook(const TConversionRequest& request, TConversionUi& ui) {
    const TEpub3Options& options = request.options;
    // A bad date fails before anything is read.
    const int64_t timestamp = BookTimestamp(request.sourcePath);
    std::optional<TBookResource> cover, font;
    if (!options.coverPath.empty()) cover = ReadCoverImage(options.coverPath);
    if (!options.fontPath.empty()) font = ReadFontFile(options.fontPath);

    TSha1 digest;
    TChapterCount found;
    std::future<TDrawnCover> drawing;
    TBook book = ReadBook(request, ui, &digest, found, cover ? nullptr : &drawing);
    if (cover) digest.Update(cover->bytes);
    if (font) digest.Update(font->bytes);

    TEpub3Extras extras;
    extras.identifier = UuidUrnFromDigest(digest.Final());
    extras.timestamp = timestamp;
    extras.vertical = options.vertical;
    extras.cover = cover ? &*cover : nullptr;
    // Without the user's cover, the one drawn from the title and author:
    // readers' libraries show a book by its cover image.
    if (!cover) extras.drawnCover = [&drawing, &ui] { return TakeDrawnCover(drawing, ui); };
    extras.font = font ? &*font : nullptr;
    extras.deflatePages = true;
    std::vector<TBookFile> files =
        RenderEpub3Files(book, extras, request.threads, Stage(ui, kConvertEnd, 100));
    book.sections.clear();
    std::string().swap(book.text);

    // A fresh archive, put in place only when complete: a failed run leaves
    // any earlier book as it was, and no entry of an earlier book joins this one.
    Require(CheckBookTarget(request.archiveName));
    PackBook(request.archiveName, BookEntries(std::move(files)), ui, request.threads,
             DosDateTimeUtc(extras.timestamp));
    return TBookReport{options.chapters, found.volumes, found.chapters};
}

// The result box's text: the result, and under a success the headings found.
std::string Epub3BoxText(const TConversionResult& result, int32_t parts) {
    if (!result) return FailedBoxText(result.Error().message);
    std::string shown = kConversionSucceededText;
    if (result->volumes + result->chapters > 0) {
        shown.append("\n").append(ChapterCountTextZh(result->volumes, result->chapters));
        if (parts != 1) shown += Format("（已按章节分页，未用分段数 %d）", static_cast<int>(parts));
    }
    return shown;
}

}  // namespace

TRunResult<TListedBook> ReadEpub3Book(const TConversionRequest& request, TConversionUi& ui) {
    return CaptureRun([&] {
        TListedBook listed;
        listed.book = ReadBook(request, ui, nullptr, listed.found);
        return listed;
    });
}

TConversionResult RunEpub3Conversion(const TConversionRequest& request, TConversionUi& ui) {
    // The book's files stay in memory until the archive takes them.
    TConversionResult result = CaptureRun([&] { return BuildBook(request, ui); });
    ui.ShowResult(Epub3BoxText(result, request.parts), static_cast<bool>(result));
    return result;
}

}  // namespace qm
