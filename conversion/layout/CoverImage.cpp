#include "conversion/layout/CoverImage.h"

#include <cairo.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <memory>

#include "conversion/book/TitleLine.h"
#include "conversion/layout/Epub3Documents.h"
#include "conversion/layout/ImageEncode.h"
#include "platform/Exceptions.h"
#include "platform/Headroom.h"

namespace qm {
namespace {

// The text stands inside these margins; the title takes at most this height.
constexpr int kMargin = 210;
constexpr int kTextWidth = kCoverWidth - 2 * kMargin;
constexpr int kTitleHeight = 1250, kTitleLines = 5;
// Sizes in pixels: large enough to be read in a 150-pixel thumbnail.
constexpr double kTitleLargest = 320, kTitleSmallest = 56;
constexpr double kAuthorLargest = 128, kAuthorOneLine = 84, kAuthorSmallest = 48;
// Set at one size and drawn scaled: glyphs, unhinted, scale exactly, so a
// block fits at size s when it fits kReference / s times the room. The
// face is loaded once, not once per size tried.
constexpr double kReference = 100;
// Pango starts two threads for each face it looks up (and one to load the
// font configuration, once), and GLib ends the process when one fails to
// start or an allocation fails; the faces (a CJK face is mapped twice, some
// 50 MB) and the canvas take most of the memory. This much must be free
// before drawing starts.
constexpr int kCoverThreads = 4;
constexpr size_t kCoverBytes = size_t{160} << 20;

struct TObjectUnref {
    void operator()(void* object) const { g_object_unref(object); }
};
struct TFontFree {
    void operator()(PangoFontDescription* font) const { pango_font_description_free(font); }
};
struct TSurfaceFree {
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
struct TCairoFree {
    void operator()(cairo_t* cairo) const { cairo_destroy(cairo); }
};
using TFontMap = std::unique_ptr<PangoFontMap, TObjectUnref>;
using TContext = std::unique_ptr<PangoContext, TObjectUnref>;
using TLayout = std::unique_ptr<PangoLayout, TObjectUnref>;
using TFont = std::unique_ptr<PangoFontDescription, TFontFree>;

bool StartsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

// A font map of its own, unhinted so that sizes scale smoothly and the
// layout does not depend on the desktop's settings.
class TCoverSetter {
  public:
    explicit TCoverSetter(const std::string& language)
        : map_(NewFontMap()), context_(pango_font_map_create_context(map_.get())) {
        cairo_font_options_t* options = cairo_font_options_create();
        cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
        cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
        cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
        pango_cairo_context_set_font_options(context_.get(), options);
        cairo_font_options_destroy(options);
        pango_context_set_language(context_.get(), pango_language_from_string(language.c_str()));
        families_ = CoverFontFamilies(language);
    }

    // A centred block of text in the cover's face, at most maxLines lines to
    // each of its paragraphs.
    TLayout Block(const std::string& text, PangoWeight weight, int maxLines) const {
        TLayout layout(pango_layout_new(context_.get()));
        pango_layout_set_text(layout.get(), text.data(), static_cast<int>(text.size()));
        pango_layout_set_alignment(layout.get(), PANGO_ALIGN_CENTER);
        pango_layout_set_wrap(layout.get(), PANGO_WRAP_WORD);
        pango_layout_set_ellipsize(layout.get(), PANGO_ELLIPSIZE_END);
        pango_layout_set_height(layout.get(), -maxLines);
        PangoAttrList* attributes = pango_attr_list_new();
        pango_attr_list_insert(attributes, pango_attr_insert_hyphens_new(FALSE));
        pango_layout_set_attributes(layout.get(), attributes);
        pango_attr_list_unref(attributes);
        TFont font(pango_font_description_from_string(families_.c_str()));
        pango_font_description_set_weight(font.get(), weight);
        pango_font_description_set_absolute_size(font.get(), kReference * PANGO_SCALE);
        pango_layout_set_font_description(layout.get(), font.get());
        return layout;
    }

  private:
    static PangoFontMap* NewFontMap() {
        const std::string shortfall = HeadroomShortfall(kCoverThreads, kCoverBytes);
        if (!shortfall.empty()) throw Exception("The cover could not be drawn: " + shortfall + ".");
        return pango_cairo_font_map_new();
    }

    TFontMap map_;
    TContext context_;
    std::string families_;
};

void SetWidth(PangoLayout* layout, double scale, double width) {
    pango_layout_set_width(layout, static_cast<int>(width / scale * PANGO_SCALE));
}

// Every line is within the width (a word too long for it is left whole
// and runs over), and every line after the first starts where Unicode's
// rules let a line start: never inside a word, never with closing punctuation.
// A line's character offset is counted on from the line before, not from
// the text's start.
bool LinesFit(PangoLayout* layout) {
    int count = 0;
    const PangoLogAttr* attributes = pango_layout_get_log_attrs_readonly(layout, &count);
    const char* text = pango_layout_get_text(layout);
    const int width = pango_layout_get_width(layout);
    long at = 0;
    int counted = 0;  // the byte at which `at` characters lie before
    for (GSList* line = pango_layout_get_lines_readonly(layout); line; line = line->next) {
        auto* set = static_cast<PangoLayoutLine*>(line->data);
        PangoRectangle logical{};
        pango_layout_line_get_extents(set, nullptr, &logical);
        if (logical.width > width) return false;
        if (set->start_index == 0) continue;
        at += g_utf8_pointer_to_offset(text + counted, text + set->start_index);
        counted = set->start_index;
        if (at < count && !attributes[at].is_line_break) return false;
    }
    return true;
}

// In reference pixels.
int HeightOf(PangoLayout* layout) {
    int width = 0, height = 0;
    pango_layout_get_pixel_size(layout, &width, &height);
    return height;
}

bool Fits(PangoLayout* layout, double scale, int maxHeight) {
    return !pango_layout_is_ellipsized(layout) && LinesFit(layout) &&
           HeightOf(layout) * scale <= maxHeight;
}

// The largest size at which the block fits; then the narrowest width that
// keeps its number of lines, so that they come out of even length. Returns
// the size; the layout is left set for it.
double FitBlock(PangoLayout* layout, double largest, double smallest, int maxHeight) {
    double size = largest;
    for (SetWidth(layout, size / kReference, kTextWidth);
         size > smallest && !Fits(layout, size / kReference, maxHeight);) {
        size = std::max(smallest, size * 0.96);
        SetWidth(layout, size / kReference, kTextWidth);
    }
    const double scale = size / kReference;
    const int lines = pango_layout_get_line_count(layout);
    if (lines < 2 || !Fits(layout, scale, maxHeight)) return size;
    int low = kTextWidth / lines, high = kTextWidth;  // high always fits
    while (high - low > 4) {
        const int middle = (low + high) / 2;
        SetWidth(layout, scale, middle);
        const bool same =
            Fits(layout, scale, maxHeight) && pango_layout_get_line_count(layout) == lines;
        (same ? high : low) = middle;
    }
    SetWidth(layout, scale, high);
    return size;
}

// The title with a line end after each inner mark that closes a clause
// (，：；！？ and the Latin colon and semicolon) or an ideographic space:
// where a reader would break it. Marks and closing brackets that follow one
// stay on its line.
std::string BreakAtClauses(const std::string& title) {
    static const char* const kMarks[] = {"，", "：", "；", "！", "？", "　", ": ", "; "};
    static const char* const kClosing[] = {"」", "』", "”", "’", "）", "》", "…", "。", "、"};
    auto at = [&title](size_t k, const char* text) {
        return title.compare(k, std::char_traits<char>::length(text), text) == 0;
    };
    std::string out;
    for (size_t k = 0; k < title.size();) {
        const char* found = nullptr;
        for (const char* mark : kMarks) found = at(k, mark) ? mark : found;
        if (!found) {
            out += title[k++];
            continue;
        }
        const size_t length = std::char_traits<char>::length(found);
        if (!StartsWith(found, "　"))
            out.append(found, found[length - 1] == ' ' ? length - 1 : length);
        k += length;
        while (k < title.size() && title[k] == ' ') ++k;
        bool closes = false;
        for (const char* mark : kMarks) closes = closes || at(k, mark);
        for (const char* mark : kClosing) closes = closes || at(k, mark);
        if (k < title.size() && !closes) out += '\n';
    }
    return out;
}

std::vector<std::string> LinesOf(PangoLayout* layout) {
    std::vector<std::string> lines;
    const char* text = pango_layout_get_text(layout);
    for (GSList* line = pango_layout_get_lines_readonly(layout); line; line = line->next) {
        const auto* set = static_cast<const PangoLayoutLine*>(line->data);
        std::string part(text + set->start_index, static_cast<size_t>(set->length));
        while (!part.empty() && (part.back() == ' ' || part.back() == '\n')) part.pop_back();
        lines.push_back(part);
    }
    return lines;
}

struct TCoverBlocks {
    TLayout title, author;
    double titleSize = 0, authorSize = 0;
    bool titleLeftOut = false, authorLeftOut = false;
};

// The first line of a title or name, or nothing when some character of it
// has no face among those installed (Pango would draw a box in its place).
std::string Drawable(const TCoverSetter& setter, const std::string& text, PangoWeight weight,
                     bool& leftOut) {
    std::string line = TitleLine(text);
    const TLayout probe = setter.Block(line, weight, 1);
    leftOut = pango_layout_get_unknown_glyphs_count(probe.get()) > 0;
    if (leftOut) line.clear();
    return line;
}

// The title broken where Unicode allows, or one clause a line when that
// keeps it nearly as large.
TCoverBlocks SetBlocks(const TCoverSetter& setter, const std::string& title,
                       const std::string& author) {
    TCoverBlocks blocks;
    blocks.title = setter.Block(title, PANGO_WEIGHT_BOLD, kTitleLines);
    blocks.titleSize = FitBlock(blocks.title.get(), kTitleLargest, kTitleSmallest, kTitleHeight);
    const std::string clauses = BreakAtClauses(title);
    const auto count = static_cast<int>(std::count(clauses.begin(), clauses.end(), '\n')) + 1;
    if (count > 1 && count <= kTitleLines) {
        TLayout split = setter.Block(clauses, PANGO_WEIGHT_BOLD, 1);  // lines per clause
        const double size = FitBlock(split.get(), kTitleLargest, kTitleSmallest, kTitleHeight);
        if (Fits(split.get(), size / kReference, kTitleHeight) && size >= blocks.titleSize * 0.75) {
            blocks.title = std::move(split);
            blocks.titleSize = size;
        }
    }
    // The author smaller than the title, on one line while it can stay
    // fairly large, else on two.
    const double largest = std::min(kAuthorLargest, blocks.titleSize * 0.75);
    blocks.author = setter.Block(author, PANGO_WEIGHT_NORMAL, 1);
    blocks.authorSize =
        FitBlock(blocks.author.get(), largest, std::min(largest, kAuthorOneLine), 400);
    if (!Fits(blocks.author.get(), blocks.authorSize / kReference, 400)) {
        blocks.author = setter.Block(author, PANGO_WEIGHT_NORMAL, 2);
        blocks.authorSize =
            FitBlock(blocks.author.get(), largest, std::min(largest, kAuthorSmallest), 400);
    }
    return blocks;
}

void SetColour(cairo_t* cairo, uint32_t rgb) {
    cairo_set_source_rgb(cairo, (rgb >> 16) / 255.0, ((rgb >> 8) & 0xFF) / 255.0,
                         (rgb & 0xFF) / 255.0);
}

// Draws the block centred across the cover with its top at `top`; returns
// its height on the cover.
double Show(cairo_t* cairo, PangoLayout* layout, double size, double top, uint32_t rgb) {
    const double scale = size / kReference;
    const double width = pango_layout_get_width(layout) / double{PANGO_SCALE} * scale;
    cairo_save(cairo);
    SetColour(cairo, rgb);
    cairo_translate(cairo, (kCoverWidth - width) / 2, top);
    cairo_scale(cairo, scale, scale);
    cairo_move_to(cairo, 0, 0);
    pango_cairo_show_layout(cairo, layout);
    cairo_restore(cairo);
    return HeightOf(layout) * scale;
}

// Paper with a gentle fall of light, a double rule around, the title in
// the upper half, a short rule under it and the author below.
void Paint(cairo_t* cairo, const TCoverBlocks& blocks) {
    cairo_pattern_t* paper = cairo_pattern_create_linear(0, 0, 0, kCoverHeight);
    cairo_pattern_add_color_stop_rgb(paper, 0, 0xF6 / 255.0, 0xF1 / 255.0, 0xE6 / 255.0);
    cairo_pattern_add_color_stop_rgb(paper, 1, 0xE7 / 255.0, 0xDB / 255.0, 0xC4 / 255.0);
    cairo_set_source(cairo, paper);
    cairo_paint(cairo);
    cairo_pattern_destroy(paper);

    constexpr uint32_t kInk = 0x2B1E16, kAccent = 0x7B3F2C, kSoft = 0x4A3A2E;
    SetColour(cairo, kAccent);
    cairo_set_line_width(cairo, 8);
    cairo_rectangle(cairo, 80, 80, kCoverWidth - 160, kCoverHeight - 160);
    cairo_stroke(cairo);
    cairo_set_line_width(cairo, 2);
    cairo_rectangle(cairo, 104, 104, kCoverWidth - 208, kCoverHeight - 208);
    cairo_stroke(cairo);

    const double titleHeight = HeightOf(blocks.title.get()) * blocks.titleSize / kReference;
    const double titleTop = 950 - titleHeight / 2;
    Show(cairo, blocks.title.get(), blocks.titleSize, titleTop, kInk);
    const double rule = std::max(titleTop + titleHeight + 90, 1560.0);
    cairo_rectangle(cairo, (kCoverWidth - 240) / 2.0, rule, 240, 6);
    cairo_fill(cairo);
    Show(cairo, blocks.author.get(), blocks.authorSize, rule + 110, kSoft);
}

}  // namespace

// The setter with its faces looked up, and what it is to set.
struct TCoverPlan::TSetting {
    TSetting(const std::string& givenTitle, const std::string& givenAuthor,
             const std::string& language)
        : setter(language),
          title(Drawable(setter, givenTitle, PANGO_WEIGHT_BOLD, titleLeftOut)),
          author(Drawable(setter, givenAuthor, PANGO_WEIGHT_NORMAL, authorLeftOut)) {}

    TCoverBlocks Blocks() const {
        TCoverBlocks blocks = SetBlocks(setter, title, author);
        blocks.titleLeftOut = titleLeftOut;
        blocks.authorLeftOut = authorLeftOut;
        return blocks;
    }

    TCoverSetter setter;
    bool titleLeftOut = false, authorLeftOut = false;
    std::string title, author;
};

TCoverPlan::TCoverPlan(const std::string& title, const std::string& author,
                       const std::string& language)
    : setting_(std::make_unique<TSetting>(title, author, language)) {}
TCoverPlan::TCoverPlan(TCoverPlan&&) noexcept = default;
TCoverPlan::~TCoverPlan() = default;

std::string CoverFontFamilies(const std::string& language) {
    const char* cut = "SC";
    if (StartsWith(language, "ja")) {
        cut = "JP";
    } else if (IsTraditionalChinese(language)) {
        cut = "TC";
    }
    return std::string("Noto Serif CJK ") + cut + ", serif";
}

TCoverLayout LayoutCover(const std::string& title, const std::string& author,
                         const std::string& language) {
    const TCoverBlocks blocks = TCoverPlan(title, author, language).setting_->Blocks();
    TCoverLayout layout{LinesOf(blocks.title.get()), LinesOf(blocks.author.get()), blocks.titleSize,
                        blocks.authorSize};
    layout.titleLeftOut = blocks.titleLeftOut;
    layout.authorLeftOut = blocks.authorLeftOut;
    return layout;
}

TBookResource DrawCoverImage(const std::string& title, const std::string& author,
                             const std::string& language) {
    return DrawCover(title, author, language).image;
}

TDrawnCover DrawCover(const std::string& title, const std::string& author,
                      const std::string& language) {
    return TCoverPlan(title, author, language).Draw();
}

TDrawnCover TCoverPlan::Draw() const {
    const TCoverBlocks blocks = setting_->Blocks();
    const std::unique_ptr<cairo_surface_t, TSurfaceFree> surface(
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, kCoverWidth, kCoverHeight));
    const std::unique_ptr<cairo_t, TCairoFree> cairo(cairo_create(surface.get()));
    Paint(cairo.get(), blocks);
    cairo_surface_flush(surface.get());
    if (cairo_status(cairo.get()) != CAIRO_STATUS_SUCCESS) {
        throw Exception(std::string("The cover could not be drawn: ") +
                        cairo_status_to_string(cairo_status(cairo.get())) + ".");
    }
    TDrawnCover drawn;
    TBookResource& image = drawn.image;
    image.bytes = EncodeJpeg(cairo_image_surface_get_data(surface.get()), kCoverWidth, kCoverHeight,
                             cairo_image_surface_get_stride(surface.get()), 92);
    image.mediaType = "image/jpeg";
    image.extension = ".jpg";
    image.width = kCoverWidth;
    image.height = kCoverHeight;
    drawn.titleLeftOut = blocks.titleLeftOut;
    drawn.authorLeftOut = blocks.authorLeftOut;
    return drawn;
}

}  // namespace qm
