// Long books are loaded and their pages rendered a slice at a time, with
// progress told and a stop looked for between slices; the pages must come
// out exactly as if each step ran in one piece.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "conversion/RecordingUi.h"
#include "conversion/layout/ClassicDocuments.h"
#include "conversion/layout/EpubTemplates.h"
#include "conversion/run/BookSplitter.h"
#include "conversion/run/ClassicPages.h"
#include "conversion/text/SourceText.h"
#include "platform/Exceptions.h"
#include "support/TestSupport.h"

namespace qm {
namespace {

using test::Hex;

// Text made of the pieces where a cut can go wrong: line breaks and their
// halves, two-byte characters, markup, forbidden bytes, stray lead bytes.
std::string MixedText(unsigned seed, int pieces) {
    const std::string pool[] = {"\r\n",   "\r",      "\n",      Hex("D6 D0"), "&",
                                "<",      ">",       "a",       "\x01",       {"\0", 1},
                                "\r\r\n", Hex("81"), Hex("80"), Hex("D6 7F")};
    std::mt19937 random(seed);
    std::string text;
    for (int i = 0; i < pieces; ++i) text += pool[random() % std::size(pool)];
    return text;
}

bool NonDecreasing(const std::vector<int>& percents) {
    return std::is_sorted(percents.begin(), percents.end()) &&
           (percents.empty() || (percents.front() >= 0 && percents.back() <= 100));
}

class Slicing : public ::testing::Test {
  protected:
    std::string Page(int k) const {
        for (const TBookEntry& file : files)
            if (file.name == "OEBPS/" + std::to_string(k) + ".html") return file.bytes;
        return {};
    }

    test::ScratchDir scratch;
    test::RecordingUi ui;
    TConversionRequest request;
    std::vector<TBookEntry> files;
};

TEST_F(Slicing, PagesWrittenInSlicesEqualPagesWrittenWhole) {
    // The first two parts share a CR LF pair.
    const std::string first = MixedText(1, 400) + "\r",
                      second = std::string("\n").append(MixedText(2, 400)) + Hex("D6");
    const std::vector<std::string_view> parts = {first, second, "\r\n", ""};
    files = ClassicBookFiles(parts, request, ui);
    std::vector<std::string> whole;
    for (int k = 0; k < 4; ++k) whole.push_back(Page(k));
    EXPECT_EQ(whole[2], ClassicPageFrame().head + "<p></p><p></p>" + ClassicPageFrame().tail);

    for (size_t slice : {1, 2, 3, 4, 7, 100}) {
        SCOPED_TRACE(slice);
        test::RecordingUi sliced;
        files = ClassicBookFiles(parts, request, sliced, TPageWriting{slice, 40});
        for (int k = 0; k < 4; ++k) EXPECT_EQ(Page(k), whole[static_cast<size_t>(k)]) << k;
        // A slice grows by one byte where it would cut a CR LF pair.
        EXPECT_GE(sliced.pagePercents.size(), (first.size() + second.size()) / (slice + 1));
        EXPECT_TRUE(NonDecreasing(sliced.pagePercents));
        EXPECT_GE(sliced.pagePercents.front(), 40);
        EXPECT_EQ(sliced.pagePercents.back(), 100);
    }
}

TEST_F(Slicing, PagesWrittenByWorkersEqualPagesWrittenInTurn) {
    const std::string text = MixedText(5, 40000);
    const std::vector<std::string_view> parts = CutText(text, 64);
    files = ClassicBookFiles(parts, request, ui);
    std::vector<std::string> inTurn;
    for (size_t k = 0; k < parts.size(); ++k) inTurn.push_back(Page(static_cast<int>(k)));
    for (const int threads : {2, 4}) {
        test::RecordingUi pooled;
        files = ClassicBookFiles(parts, request, pooled, TPageWriting{kPageSliceSize, 0, threads});
        for (size_t k = 0; k < parts.size(); ++k)
            EXPECT_EQ(Page(static_cast<int>(k)), inTurn[k]) << k;
        EXPECT_TRUE(NonDecreasing(pooled.pagePercents));
        EXPECT_EQ(pooled.pagePercents.size(), parts.size());
        EXPECT_EQ(pooled.pagePercents.back(), 100);
    }
}

TEST_F(Slicing, OnePartRenderedOnWorkersEqualsOnePartInTurn) {
    // Slices cut only after line breaks; a text without any is one slice.
    const std::string texts[] = {MixedText(7, 30000), "\n" + MixedText(8, 3000) + "\r",
                                 std::string(5000, 'a') + Hex("D6")};
    for (const std::string& text : texts) {
        const std::vector<std::string_view> parts = {text};
        for (size_t slice : {1, 2, 7, 100, 4096}) {
            SCOPED_TRACE(testing::Message() << text.size() << " " << slice);
            files = ClassicBookFiles(parts, request, ui, TPageWriting{slice, 0, 1});
            const std::string inTurn = Page(0);
            test::RecordingUi pooled;
            files = ClassicBookFiles(parts, request, pooled, TPageWriting{slice, 10, 3});
            EXPECT_EQ(Page(0), inTurn);
            EXPECT_TRUE(NonDecreasing(pooled.pagePercents));
            EXPECT_EQ(pooled.pagePercents.back(), 100);
        }
    }
    EXPECT_GT(LineSliceEnds(texts[0], 7).size(), 1000u);
    EXPECT_EQ(LineSliceEnds(texts[2], 7), std::vector<size_t>{texts[2].size()});
}

TEST_F(Slicing, PagesDeflatedWhereRenderedPackAsPagesHeld) {
    // Many parts, and one part large enough to be deflated in pieces; the
    // progress of rendering and packing as one step ends at 100 in both.
    std::string line;
    for (int i = 0; i < 40; ++i) line += Hex("D6 D0 CE C4") + std::to_string(i % 7);
    line += "\r\n";
    std::string big;
    while (big.size() < 6'000'000) big += line;
    const std::string small = MixedText(9, 40000);
    const std::vector<std::vector<std::string_view>> books = {CutText(small, 40), {big}};
    for (const auto& parts : books) {
        SCOPED_TRACE(parts.size());
        files = ClassicBookFiles(parts, request, ui, TPageWriting{kPageSliceSize, 0, 2});
        PackBook(scratch / "held.epub", std::move(files), ui, 2, 0x5A210000);
        test::RecordingUi packing;
        TBookPacker packer(scratch / "ahead.epub", packing, 2, 0x5A210000);
        WriteClassicBook(parts, request, packing, TPageWriting{kPageSliceSize, 0, 2, true},
                         [&](TBookEntry file) {
                             EXPECT_EQ(file.deflated.has_value(),
                                       file.name.find(".html") != std::string::npos);
                             packer.Add(std::move(file));
                         });
        packer.Finish();
        EXPECT_EQ(test::ReadFile(scratch / "ahead.epub"), test::ReadFile(scratch / "held.epub"));
        EXPECT_TRUE(NonDecreasing(packing.pagePercents));
        EXPECT_EQ(packing.pagePercents.back(), 100);
        EXPECT_TRUE(NonDecreasing(packing.packPercents));
        EXPECT_EQ(packing.packPercents.back(), 100);
    }
}

TEST_F(Slicing, LoadingInSlicesGivesTheSameWorkingText) {
    // A GBK text that passes for UTF-8 until its last character.
    std::string lookalike;
    for (int i = 0; i < 300; ++i) lookalike += Hex("C4 A1");
    lookalike += Hex("C4 E3");
    const std::string utf16 =
        test::Utf16LeWithMark(std::u16string(u"中\U0001F600文\r\n") + char16_t(0xD800) + u"a");
    const std::string books[] = {
        MixedText(3, 300),
        lookalike,
        "中文\r\n\xF0\x9F\x98\x80\xED\xA0\xBD\xED\xB8\x80" + std::string(200, 'x') + "文",
        "\xEF\xBB\xBF中文。" + std::string(100, 'y'),
        utf16 + utf16.substr(2) + std::string("\0\0tail", 6),
    };
    for (const std::string& book : books) {
        const std::string path = scratch / "book.txt";
        test::WriteFile(path, book);
        const std::string whole = LoadSourceText(path);
        ASSERT_FALSE(whole.empty());
        for (size_t slice : {1, 2, 3, 5, 64}) {
            SCOPED_TRACE(slice);
            std::vector<int> percents;
            EXPECT_EQ(LoadSourceText(
                          path, [&](int p) { percents.push_back(p); }, slice),
                      whole);
            EXPECT_GE(percents.size(), (book.size() - 3) / slice);  // at least the reads
            EXPECT_TRUE(NonDecreasing(percents));
        }
    }
}

TEST_F(Slicing, LargeSinglePageBookReportsProgressAllAlong) {
    // 20 MB of GBK text in one part: at least one report (and a look for a
    // stop) per slice read and per slice written, with the page still whole.
    std::string line;
    for (int i = 0; i < 30; ++i) line += Hex("D6 D0 CE C4");
    line += "a&b\r\n";
    std::string book;
    while (book.size() < 20'000'000) book += line;
    request.sourcePath = scratch / "big.txt";
    test::WriteFile(request.sourcePath, book);
    request.fileSize = static_cast<int32_t>(book.size());
    auto made = SplitText(1, request, ui);
    ASSERT_TRUE(made);
    files = std::move(*made);

    // Per line: 60 characters of three UTF-8 bytes, "a&amp;b" and
    // "</p><p>"; then the first "<p>" and the last "</p>".
    const size_t lines = book.size() / line.size();
    EXPECT_EQ(Page(0).size(), ClassicPageFrame().head.size() + lines * (180 + 7 + 7) + 7 +
                                  ClassicPageFrame().tail.size());
    EXPECT_GE(ui.pagePercents.size(), 2 * (book.size() / kPageSliceSize));
    EXPECT_TRUE(NonDecreasing(ui.pagePercents));
    EXPECT_EQ(ui.pagePercents.back(), 100);
}

}  // namespace
}  // namespace qm
