// The generated cover: where its lines break, and that what it draws stays
// inside the margins. Readers judge the finished book in the CLI suite.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

// After <cstdio>, which it needs.
#include <jpeglib.h>

#include "conversion/layout/CoverImage.h"

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

}  // namespace
}  // namespace qm
