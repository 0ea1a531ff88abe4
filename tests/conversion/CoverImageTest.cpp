// The generated cover: where its lines break, that what it draws stays
// inside the margins, that only a title's first line reaches it, and that it
// stops with a reason rather than with the process when the room runs out.
// Readers judge the finished book in the CLI suite.
#include <fontconfig/fontconfig.h>
#include <gtest/gtest.h>
#include <pango/pangocairo.h>
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

// After <cstdio>, which it needs.
#include <jpeglib.h>

#include "conversion/RecordingUi.h"
#include "conversion/book/TitleLine.h"
#include "conversion/layout/CoverImage.h"
#include "conversion/run/ConversionRun.h"
#include "platform/Exceptions.h"
#include "support/TestSupport.h"

namespace qm {
namespace {

// The runs of Latin letters and digits: the words a line may not cut.
std::vector<std::string> LatinWords(const std::string& text) {
    std::vector<std::string> words(1);
    for (char c : text) {
        if (std::isalnum(static_cast<unsigned char>(c))) {
            words.back() += c;
        } else if (!words.back().empty()) {
            words.emplace_back();
        }
    }
    if (words.back().empty()) words.pop_back();
    return words;
}

std::string WithoutSpaces(std::string text) {
    std::erase(text, ' ');
    return text;
}

// Lines that start with closing punctuation, which may never begin one.
bool StartsWithClosing(const std::string& line) {
    for (const char* mark : {"，", "。", "、", "」", "』", "）", "！", "？", "：", "；", "…", ",",
                             ".", ";", ":", "!", "?", ")"}) {
        if (line.rfind(mark, 0) == 0) return true;
    }
    return false;
}

TEST(CoverImage, LinesBreakBetweenWordsAndNeverBeforeClosingPunctuation) {
    const struct {
        const char *title, *language;
        size_t minLines;
    } cases[] = {
        {"The Adventures of Sherlock Holmes", "en", 2},
        {"Supercalifragilisticexpialidocious and Antidisestablishmentarianism", "en", 2},
        {"A Tale of Two Cities: A Story of the French Revolution in Three Books", "en", 3},
        {"斗罗大陆，唐门英雄传", "zh-CN", 2},
        {"我在末世开超市，顺便拯救了全人类的故事！真的吗？", "zh-CN", 3},
        {"「紅樓夢」之金陵十二釵，又名《石頭記》。", "zh-Hant", 2},
        {"第1卷 Harry Potter与魔法石", "zh-CN", 1},
        {"道", "zh-CN", 1},
        {"你好！？世界", "zh-CN", 2},  // a clause ends in two marks
        {"「再见」， 朋友：A Story", "zh-CN", 2},
    };
    for (const auto& c : cases) {
        const TCoverLayout layout = LayoutCover(c.title, "某某 Someone", c.language);
        std::string joined, lines;
        for (const std::string& line : layout.titleLines) {
            joined += line;
            lines += "[" + line + "]";
            EXPECT_FALSE(StartsWithClosing(line)) << lines;
            // A Latin word is never cut: every word of a line is one of the title's.
            for (const std::string& word : LatinWords(line)) {
                const std::vector<std::string> all = LatinWords(c.title);
                EXPECT_NE(std::find(all.begin(), all.end(), word), all.end()) << lines;
            }
        }
        EXPECT_EQ(WithoutSpaces(joined), WithoutSpaces(c.title)) << lines;  // nothing cut off
        EXPECT_GE(layout.titleLines.size(), c.minLines) << lines;
        EXPECT_LE(layout.titleLines.size(), 5u) << lines;
        // Readable in a 150-pixel thumbnail: at least 5 pixels there.
        EXPECT_GE(layout.titleSize * 150 / kCoverWidth, 5) << c.title;
        EXPECT_GT(layout.titleSize, layout.authorSize) << c.title;
    }
    // A title broken at its comma when that keeps it large.
    const TCoverLayout comma = LayoutCover("斗罗大陆，唐门英雄传", "", "zh-CN");
    EXPECT_EQ(comma.titleLines, (std::vector<std::string>{"斗罗大陆，", "唐门英雄传"}));
}

// Decodes the JPEG into rows of RGB.
std::vector<std::string> DecodeRows(const std::string& bytes, int& width) {
    jpeg_decompress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    width = static_cast<int>(info.output_width);
    std::vector<std::string> rows;
    while (info.output_scanline < info.output_height) {
        std::string row(info.output_width * 3, '\0');
        auto* out = reinterpret_cast<JSAMPROW>(row.data());
        jpeg_read_scanlines(&info, &out, 1);
        rows.push_back(std::move(row));
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return rows;
}

// Text that runs past the margins leaves ink between the frame and the
// text column; long words and long titles must shrink to fit instead.
TEST(CoverImage, DrawingStaysInsideTheMarginsAndIsTheSameEachTime) {
    for (const char* title : {"Supercalifragilisticexpialidocious and Antidisestablishmentarianism",
                              "我在末世开超市，顺便拯救了全人类的故事", "W"}) {
        const TBookResource cover = DrawCoverImage(title, "Someone Withaverylongname", "en");
        EXPECT_EQ(cover.mediaType, "image/jpeg");
        EXPECT_EQ(cover.bytes, DrawCoverImage(title, "Someone Withaverylongname", "en").bytes);
        int width = 0;
        const std::vector<std::string> rows = DecodeRows(cover.bytes, width);
        ASSERT_EQ(width, kCoverWidth);
        ASSERT_EQ(rows.size(), static_cast<size_t>(kCoverHeight));
        int darkest = 255;
        for (int y = 120; y < kCoverHeight - 120; y += 2) {
            for (int x = 115; x < 196; ++x) {
                for (int k = 0; k < 3; ++k) {
                    const auto& row = rows[static_cast<size_t>(y)];
                    darkest = std::min(
                        {darkest, static_cast<unsigned char>(row[x * 3 + k]) + 0,
                         static_cast<unsigned char>(row[(kCoverWidth - 1 - x) * 3 + k]) + 0});
                }
            }
        }
        EXPECT_GT(darkest, 170) << title;
    }
}

TEST(CoverImage, OnlyATitlesFirstLineReachesTheBookAndTheCover) {
    const struct {
        std::string given, kept;
    } cases[] = {
        {"Dune\nrest", "Dune"},
        {"Dune\r\nrest", "Dune"},
        {"甲\u2029乙", "甲"},
        {"甲\u2028乙", "甲"},
        {"甲\u0085乙", "甲"},
        {"A\vB\fC", "A"},
        {" \n\u3000\r\nDune\nrest", "Dune"},  // blank lines first
        {test::Repeat("书", 200), test::Repeat("书", 200)},
        {test::Repeat("书", 201) + "\nrest", test::Repeat("书", 199) + "…"},
        {test::Repeat("a", 300), test::Repeat("a", 199) + "…"},
    };
    for (const auto& c : cases) EXPECT_EQ(TitleLine(c.given), c.kept) << c.given.substr(0, 40);

    // A whole book's worth of title, as a text's first line, and pasted in.
    test::ScratchDir scratch;
    std::string paragraphs;
    for (int k = 0; k < 3000; ++k)
        paragraphs += (k ? "\u2029" : "") + std::to_string(k) + "天地玄黄";
    test::WriteFile(scratch / "book.txt", "书名：" + paragraphs + "\n\n第一章 开始\n正文。\n");
    TConversionRequest request;
    request.sourcePath = scratch / "book.txt";
    request.archiveName = scratch / "book.epub";
    request.options.epub3 = true;
    request.author = test::Repeat("某某\n", 8000);
    test::RecordingUi ui;
    ASSERT_TRUE(RunConversion(request, ui));
    const auto unzip = [&](const char* entries) {
        return test::Run("unzip -p " + test::Quote(request.archiveName) + " " + entries).out;
    };
    std::smatch found;
    const std::string package = unzip("OEBPS/content.opf");
    ASSERT_TRUE(std::regex_search(package, found, std::regex("<dc:title>([^<]*)<")));
    EXPECT_EQ(found[1], "0天地玄黄");
    ASSERT_TRUE(std::regex_search(package, found, std::regex(">([^<]*)</dc:creator>")));
    EXPECT_EQ(found[1], "某某");
    // What the text's line says beyond the title stays in the book.
    EXPECT_NE(unzip("'OEBPS/text/*.xhtml'").find("2999天地玄黄"), std::string::npos);

    std::string shown;
    for (const std::string& line : LayoutCover(paragraphs, "", "zh-CN").titleLines) shown += line;
    EXPECT_EQ(shown, "0天地玄黄");
}

// The unknown glyphs Pango finds in text, with the faces fontconfig offers now.
int BoxesIn(const std::string& text) {
    PangoFontMap* map = pango_cairo_font_map_new();
    PangoContext* context = pango_font_map_create_context(map);
    PangoLayout* layout = pango_layout_new(context);
    pango_layout_set_text(layout, text.data(), static_cast<int>(text.size()));
    const int boxes = pango_layout_get_unknown_glyphs_count(layout);
    g_object_unref(layout);
    g_object_unref(context);
    g_object_unref(map);
    return boxes;
}

// A machine with Latin faces only (no CJK font installed), while it lives.
class LatinFontsOnly {
  public:
    explicit LatinFontsOnly(const test::ScratchDir& scratch)
        : previous_(FcConfigReference(nullptr)), latin_(FcConfigCreate()) {
        test::WriteFile(scratch / "fonts.conf",
                        "<?xml version=\"1.0\"?>\n<fontconfig><dir>/usr/share/fonts/truetype/"
                        "dejavu</dir><cachedir>" +
                            scratch / "cache" + "</cachedir></fontconfig>\n");
        const std::string conf = scratch / "fonts.conf";
        FcConfigParseAndLoad(latin_, reinterpret_cast<const FcChar8*>(conf.c_str()), FcTrue);
        FcConfigBuildFonts(latin_);
        FcConfigSetCurrent(latin_);
    }
    ~LatinFontsOnly() {
        FcConfigSetCurrent(previous_);
        FcConfigDestroy(previous_);
        FcConfigDestroy(latin_);
    }

  private:
    FcConfig *previous_, *latin_;
};

TEST(CoverImage, WhatNoInstalledFontCanDrawIsLeftOffAndSaid) {
    test::ScratchDir scratch;
    const LatinFontsOnly latinOnly(scratch);
    ASSERT_GT(BoxesIn("斗罗大陆"), 0);  // the machine this test stands for

    const TCoverLayout chinese = LayoutCover("斗罗大陆", "Tang Jia San Shao", "zh-CN");
    EXPECT_TRUE(chinese.titleLeftOut);
    EXPECT_FALSE(chinese.authorLeftOut);
    for (const auto* lines : {&chinese.titleLines, &chinese.authorLines}) {
        for (const std::string& line : *lines) EXPECT_EQ(BoxesIn(line), 0) << line;
    }
    EXPECT_EQ(chinese.authorLines, std::vector<std::string>{"Tang Jia San Shao"});

    test::WriteFile(scratch / "book.txt", "《斗罗大陆》作者：唐家三少\n\n第一章 开始\n正文。\n");
    TConversionRequest request;
    request.sourcePath = scratch / "book.txt";
    request.archiveName = scratch / "book.epub";
    request.options.epub3 = true;
    test::RecordingUi ui;
    ASSERT_TRUE(RunConversion(request, ui));
    std::string warnings;
    for (const auto& [caption, text] : ui.warnings) warnings += text + "\n";
    EXPECT_NE(warnings.find("The cover is drawn without the book's title"), std::string::npos);
    EXPECT_NE(warnings.find("The cover is drawn without the author's name"), std::string::npos);
}

// The address space in use, in bytes.
size_t AddressSpaceInUse() {
    size_t pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    return pages * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

// Draws a cover where one more thread's stack does not fit the address
// space; ends the process with 1 and the reason when the cover stops.
void DrawWithoutRoomForAThread() {
    pthread_attr_t defaults;
    size_t stack = 0;
    pthread_getattr_default_np(&defaults);
    pthread_attr_getstacksize(&defaults, &stack);
    const rlimit limit{AddressSpaceInUse() + stack / 2, RLIM_INFINITY};
    setrlimit(RLIMIT_AS, &limit);
    try {
        DrawCover("书名", "作者", "zh-CN");
    } catch (const Exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        _exit(1);
    }
    _exit(0);
}

// GLib ends the process (SIGTRAP) when Pango cannot start a thread; the
// cover must stop first, with its reason.
TEST(CoverImageDeathTest, NoRoomForAThreadStopsTheCoverWithItsReason) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(DrawWithoutRoomForAThread(), ::testing::ExitedWithCode(1),
                "The cover could not be drawn: no new thread can be started");
}

}  // namespace
}  // namespace qm
