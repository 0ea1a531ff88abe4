// Encoding detection and lossless decoding for the EPUB 3 output, on texts
// in each encoding the tool meets, short and long.
#include <gtest/gtest.h>
#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/ustring.h>

#include <random>
#include <string>

#include "conversion/text/BookEncoding.h"
#include "conversion/text/ChineseConvert.h"
#include "support/IcuText.h"
#include "support/TestSupport.h"

namespace qm {
namespace {

using test::Decode;
using test::Encode;

// The first `chars` code points of a UTF-8 text.
std::string Prefix(const std::string& utf8, size_t chars) {
    size_t i = 0;
    for (size_t n = 0; i < utf8.size() && n < chars; ++n) {
        do ++i;
        while (i < utf8.size() && (static_cast<unsigned char>(utf8[i]) & 0xC0) == 0x80);
    }
    return utf8.substr(0, i);
}

TEST(BookEncoding, DetectsEachEncodingAndDecodesItBack) {
    const std::string simplified =
        test::ReadFile(std::string(QM_SOURCE_DIR) + "/samples/sample-gbk.txt");
    const std::string simplifiedUtf8 = DecodeBookText(simplified, "GBK").text;
    const std::string traditionalUtf8 = TChineseConverter("s2t").Convert(simplifiedUtf8);
    struct Case {
        const char* name;
        std::string utf8;
        std::string bytes;
        const char* expected;
    };
    std::vector<Case> cases;
    for (size_t chars : {20, 300, 100000}) {  // 300 characters are still under 1 KB in GBK
        const std::string s = Prefix(simplifiedUtf8, chars);
        const std::string t = Prefix(traditionalUtf8, chars);
        cases.push_back({"gbk", s, Encode(s, "GBK"), "GB18030"});
        // Big5 lacks a few characters OpenCC writes; what it holds comes back.
        const std::string big5 = Encode(t, "Big5");
        cases.push_back({"big5", Decode(big5, "Big5"), big5, "Big5-HKSCS"});
        cases.push_back({"utf8", t, t, "UTF-8"});
        cases.push_back({"utf8-mark", s, "\xEF\xBB\xBF" + s, "UTF-8"});
        cases.push_back({"utf16le", s, "\xFF\xFE" + Encode(s, "UTF-16LE"), "UTF-16LE"});
        cases.push_back({"utf16be", t, "\xFE\xFF" + Encode(t, "UTF-16BE"), "UTF-16BE"});
    }
    // Outside GBK: a four-byte GB18030 character and an emoji.
    const std::string rare = "海边\xF0\xA0\x80\x80的书信\xF0\x9F\x98\x80，第二行。";
    cases.push_back({"gb18030-4", rare, Encode(rare, "GB18030"), "GB18030"});
    // Too short for the detector: GB18030, which reads any Big5 bytes too.
    cases.push_back({"short", "海边的书", Encode("海边的书", "GBK"), "GB18030"});
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.bytes.size()) + " bytes");
        const std::string found = DetectBookEncoding(c.bytes);
        EXPECT_EQ(found, c.expected);
        if (found != c.expected) continue;
        const TDecodedText decoded = DecodeBookText(c.bytes, found);
        EXPECT_EQ(decoded.replaced, 0);
        EXPECT_TRUE(decoded.text == c.utf8);
    }
}

// The texts that came out as mojibake: each is read in its own encoding,
// with at most a few replaced sequences, and said to be a guess. Big5 stays
// Big5.
TEST(BookEncoding, DamagedAndUnmarkedBooksAreGuessedRightAndSaidToBeGuesses) {
    const std::string sample =
        DecodeBookText(test::ReadFile(std::string(QM_SOURCE_DIR) + "/samples/sample-gbk.txt"),
                       "GBK")
            .text;
    const std::string utf8 = Prefix(sample, 3600);  // about 11 KB
    const std::string line = "海边的书信，第二行，还有更多的字。\r\n";
    // GBK whose characters fall evenly on B0A1..C8FE, the Hangul rows of
    // EUC-KR, with its headings.
    std::string spread, spreadUtf8;
    std::mt19937 random(19);
    for (int chapter = 1; chapter < 30; ++chapter) {
        const std::string heading = "第" + std::to_string(chapter) + "章\r\n";
        spread += Encode(heading, "GBK");
        spreadUtf8 += heading;
        for (int i = 0; i < 180; ++i) {
            const char pair[] = {static_cast<char>(0xB0 + random() % 25),
                                 static_cast<char>(0xA1 + random() % 94), '\0'};
            spread += pair;
            spreadUtf8 += Decode(pair, "GBK");
        }
        spread += "\r\n";
        spreadUtf8 += "\r\n";
    }
    // Ideographic spaces put zero bytes where a wrong order would want them.
    std::string paragraphs;
    for (int i = 0; i < 200; ++i) paragraphs += "　　海边的书信，第二行。";
    paragraphs += "\r\n" + paragraphs + "\r\n";
    const std::string big5 = Encode(TChineseConverter("s2t").Convert(Prefix(sample, 2000)), "Big5");
    const struct {
        const char* name;
        std::string bytes;
        const char* expected;
        int64_t replaced;
        std::string holds, tail;  // how the decoded text begins and ends
    } cases[] = {
        {"UTF-8 cut in its last character", utf8 + "\xE4\xB8", "UTF-8", 1, utf8, ""},
        {"two-byte UTF-8 cut in its last character", test::Repeat("Привет мир ", 40) + "\xD1",
         "UTF-8", 1, test::Repeat("Привет мир ", 40), ""},
        {"UTF-8 with a pasted GBK line", utf8 + Encode(line, "GBK") + utf8, "UTF-8", -1, utf8,
         "\r\n" + utf8},
        {"GBK spread evenly", spread, "GB18030", 0, spreadUtf8, ""},
        {"UTF-16LE without a mark", Encode(paragraphs, "UTF-16LE"), "UTF-16LE", 0, paragraphs, ""},
        {"UTF-16BE without a mark", Encode(sample, "UTF-16BE"), "UTF-16BE", 0, sample, ""},
        {"Big5", big5, "Big5-HKSCS", 0, Decode(big5, "Big5"), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        bool guessed = false;
        ASSERT_EQ(DetectBookEncoding(c.bytes, &guessed), c.expected);
        EXPECT_TRUE(guessed);
        const TDecodedText decoded = DecodeBookText(c.bytes, c.expected);
        if (c.replaced >= 0) {
            EXPECT_EQ(decoded.replaced, c.replaced);
        } else {
            EXPECT_GT(decoded.replaced, 0);  // the GBK line's bytes, and no more
            EXPECT_LE(decoded.replaced, static_cast<int64_t>(Encode(line, "GBK").size()));
        }
        EXPECT_TRUE(decoded.text.find(c.holds) == 0) << decoded.text.substr(0, 200);
        EXPECT_TRUE(
            decoded.text.size() >= c.tail.size() &&
            decoded.text.compare(decoded.text.size() - c.tail.size(), c.tail.size(), c.tail) == 0);
    }
    bool guessed = true;
    EXPECT_EQ(DetectBookEncoding(utf8, &guessed), "UTF-8");
    EXPECT_FALSE(guessed);
}

TEST(BookEncoding, BadBytesBecomeReplacementCharactersAndAreCounted) {
    // A lone lead byte mid-text and a cut-off one at the end.
    const TDecodedText gb = DecodeBookText("\xBA\xA3\x81 ok \xB1\xDF\x81", "GB18030");
    EXPECT_EQ(gb.replaced, 2);
    EXPECT_EQ(gb.text.find("海"), 0u);
    EXPECT_NE(gb.text.find("\xEF\xBF\xBD ok 边\xEF\xBF\xBD"), std::string::npos) << gb.text;
    const TDecodedText utf8 = DecodeBookText(
        "\xEF\xBB\xBF"
        "a\xC3(b",
        "UTF-8");
    EXPECT_EQ(utf8.replaced, 1);
    EXPECT_EQ(utf8.text, "a\xEF\xBF\xBD(b");
    EXPECT_FALSE(IsKnownEncoding("no-such-encoding"));
    EXPECT_TRUE(IsKnownEncoding("big5"));
}

TEST(BookEncoding, DecodingInPiecesOnWorkersGivesTheSameText) {
    // Every line starts with U+FEFF (kept: only the file's first is a mark)
    // and some end in a lone lead byte, so the cuts between pieces, made
    // after line feeds, fall on both; Big5 and UTF-8 with bad bytes too.
    struct Case {
        const char* encoding;
        std::string line, mark;
    } cases[] = {
        {"GB18030", "\x84\x31\x95\x33\xBA\xA3\xB1\xDF\x41\x81\n", "\x84\x31\x95\x33"},
        {"Big5-HKSCS", "\xAE\xFC\xC3\xE4 \xA4\n", ""},
        {"UTF-8", "\xEF\xBB\xBF\xE6\xB5\xB7\xC3\r\n", "\xEF\xBB\xBF"},
    };
    for (const Case& c : cases) {
        std::string bytes = c.mark;
        while (bytes.size() < (size_t{9} << 20)) bytes += c.line;
        const TDecodedText once = DecodeBookText(bytes, c.encoding);
        int calls = 0;
        const TDecodedText shared = DecodeBookText(
            bytes, c.encoding, [&](int) { ++calls; }, 2);
        EXPECT_GT(once.replaced, 0) << c.encoding;
        EXPECT_EQ(shared.replaced, once.replaced) << c.encoding;
        EXPECT_TRUE(shared.text == once.text) << c.encoding;
        EXPECT_GE(calls, 3) << c.encoding;
    }
}

// What ICU's converter alone makes of bytes: U+FFFD for each sequence that
// does not decode, counted.
TDecodedText ConverterDecode(const std::string& bytes, const char* encoding) {
    TDecodedText result;
    UErrorCode error = U_ZERO_ERROR;
    UConverter* converter = ucnv_open(encoding, &error);
    const UConverterToUCallback substitute = [](const void* context, UConverterToUnicodeArgs* args,
                                                const char*, int32_t,
                                                UConverterCallbackReason reason, UErrorCode* err) {
        if (reason > UCNV_IRREGULAR) return;
        ++*static_cast<int64_t*>(const_cast<void*>(context));
        *err = U_ZERO_ERROR;
        const UChar replacement = 0xFFFD;
        ucnv_cbToUWriteUChars(args, &replacement, 1, 0, err);
    };
    ucnv_setToUCallBack(converter, substitute, &result.replaced, nullptr, nullptr, &error);
    std::u16string units(bytes.size() * 2 + 8, u'\0');
    const int32_t length =
        ucnv_toUChars(converter, units.data(), static_cast<int32_t>(units.size()), bytes.data(),
                      static_cast<int32_t>(bytes.size()), &error);
    ucnv_close(converter);
    EXPECT_TRUE(U_SUCCESS(error)) << u_errorName(error);
    result.text.resize(static_cast<size_t>(length) * 3 + 8);
    int32_t written = 0;
    u_strToUTF8(result.text.data(), static_cast<int32_t>(result.text.size()), &written,
                units.data(), length, &error);
    result.text.resize(static_cast<size_t>(written));
    return result;
}

TEST(BookEncoding, DecodingByTableGivesWhatTheConverterGives) {
    // Random runs of pairs, four-byte sequences, ASCII, line ends and bytes
    // that decode in no encoding, so lookups meet the converter everywhere.
    std::mt19937 random(7);
    for (const char* encoding : {"GB18030", "Big5-HKSCS", "GBK", "Big5"}) {
        std::string bytes;
        while (bytes.size() < 200000) {
            const unsigned pick = random() % 16;
            const auto byte = [&](unsigned low, unsigned high) {
                bytes += static_cast<char>(low + random() % (high - low + 1));
            };
            if (pick < 9) {
                byte(0x81, 0xFE);
                byte(0x40, 0xFE);
            } else if (pick < 10) {
                byte(0x81, 0xFE);
                byte(0x30, 0x39);
                byte(0x81, 0xFE);
                byte(0x30, 0x39);
            } else if (pick < 14) {
                byte(0x20, 0x7E);
            } else if (pick < 15) {
                bytes += random() % 2 ? "\n" : "\r\n";
            } else {
                byte(0x80, 0xFF);
            }
        }
        const TDecodedText want = ConverterDecode(bytes, encoding);
        EXPECT_GT(want.replaced, 0) << encoding;
        for (const std::string& text :
             {bytes, bytes + "\x81", std::string("\x84\x31\x95\x33") + bytes}) {
            const TDecodedText reference = ConverterDecode(text, encoding);
            const TDecodedText got = DecodeBookText(text, encoding);
            EXPECT_EQ(got.replaced, reference.replaced) << encoding;
            // A mark at the very start is dropped.
            const std::string expected = reference.text.rfind("\xEF\xBB\xBF", 0) == 0
                                             ? reference.text.substr(3)
                                             : reference.text;
            EXPECT_TRUE(got.text == expected) << encoding;
        }
    }
}

TEST(BookEncoding, Utf8ValidityFollowsTheStandard) {
    for (const char* good : {"", "plain ascii text", "\xC2\x80", "\xED\x9F\xBF", "\xF4\x8F\xBF\xBF",
                             "海边的书信 and more ascii after it"}) {
        EXPECT_TRUE(IsValidUtf8(good)) << good;
    }
    for (const char* bad : {"\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                            "\xF5\x80\x80\x80", "abcdefgh\x80", "\xE6\xB5"}) {
        EXPECT_FALSE(IsValidUtf8(bad)) << bad;
    }
}

}  // namespace
}  // namespace qm
