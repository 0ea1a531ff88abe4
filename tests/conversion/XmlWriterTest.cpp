#include <gtest/gtest.h>

#include <stdexcept>

#include "conversion/layout/XmlWriter.h"
#include "support/TestSupport.h"

using qm::test::Hex;

namespace qm {
namespace {

constexpr TXmlStyle kOneLine{TXmlTextRule::CodePage936, false};
constexpr TXmlStyle kLines{TXmlTextRule::Utf8, true};

TEST(XmlWriter, NestsClosesAndLaysOutAsTheStyleSays) {
    for (const TXmlStyle& style : {kOneLine, kLines}) {
        std::string out;
        TXmlWriter w(out, style);
        w.Declaration().Line().Open("a").Attr("n", 7).Line();
        w.Open("b").Close(TEmptyTag::Spaced).Open("c").Close().Open("d").Text("").Close();
        w.Element("e", "x").Line().CloseAll();
        EXPECT_EQ(w.Depth(), 0u);
        const std::string nl = style.lineEnds ? "\n" : "";
        EXPECT_EQ(out, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + nl + "<a n=\"7\">" + nl +
                           "<b /><c/><d></d><e>x</e>" + nl + "</a>");
    }
}

// Text and values go through the document's rule; quotes only where they
// would end a value, or always in UTF-8 documents.
TEST(XmlWriter, EscapesTextAndValuesByTheDocumentsRule) {
    struct Case {
        TXmlStyle style;
        std::string text, value, expected;
    };
    const Case cases[] = {
        {kOneLine, "a&<b>\"", "\"&", "<t v=\"&quot;&amp;\">a&amp;&lt;b&gt;\"</t>"},
        {kLines, "a&<b>\"", "\"&", "<t v=\"&quot;&amp;\">a&amp;&lt;b&gt;&quot;</t>"},
        // Forbidden controls go; a code page 936 lead byte cut off by one
        // reads "?", UTF-8 loses U+FFFF as well.
        {kOneLine, Hex("61 D6 01 62"), "x\x01", "<t v=\"x\">a?b</t>"},
        {kLines,
         "a\x01\xEF\xBF\xBF"
         "b",
         "\xEF\xBF\xBE", "<t v=\"\">ab</t>"},
    };
    for (const Case& c : cases) {
        std::string out;
        TXmlWriter(out, c.style).Open("t").Attr("v", c.value).Text(c.text).Close();
        EXPECT_EQ(out, c.expected);
    }
}

TEST(XmlWriter, RedirectSplitsAFrameAroundItsBody) {
    std::string head, tail;
    TXmlWriter w(head, kLines);
    w.Open("html").Open("body").Redirect(tail).CloseAll();
    EXPECT_EQ(head + "<p/>" + tail, "<html><body><p/></body></html>");
}

TEST(XmlWriter, RefusesUnbalancedUse) {
    std::string out;
    TXmlWriter w(out, kLines);
    EXPECT_THROW(w.Close(), std::logic_error);
    w.Open("a").Text("x");
    EXPECT_THROW(w.Attr("late", "1"), std::logic_error);
    for (int k = 1; k < 8; ++k) w.Open("n");
    EXPECT_THROW(w.Open("deep"), std::logic_error);
}

}  // namespace
}  // namespace qm
