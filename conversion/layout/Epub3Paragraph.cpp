#include "conversion/layout/Epub3Paragraph.h"

#include <cctype>

#include "conversion/layout/BookLayout.h"
#include "conversion/layout/XmlWriter.h"
#include "conversion/text/TextLines.h"

namespace qm {
namespace {

constexpr size_t kUprightDigits = 2;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Letters and decimal marks bind digits into Latin text that stays sideways.
bool BindsDigits(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) || c == '.' || c == ',';
}

}  // namespace

const char* Epub3ParagraphClass(std::string_view text, bool afterBlank) {
    if (IsSeparatorLine(text)) return "sep";
    return afterBlank ? "gap" : nullptr;
}

void AppendUprightDigits(TXmlWriter& w, std::string_view text, bool vertical) {
    size_t from = 0;
    for (size_t i = 0; vertical && i < text.size();) {
        if (!IsDigit(text[i])) {
            ++i;
            continue;
        }
        size_t end = i;
        while (end < text.size() && IsDigit(text[end])) ++end;
        const bool bound =
            (i > 0 && BindsDigits(text[i - 1])) || (end < text.size() && BindsDigits(text[end]));
        if (end - i <= kUprightDigits && !bound) {
            w.Text(text.substr(from, i - from));
            w.Open("span").Attr("class", "tcu").Text(text.substr(i, end - i)).Close();
            from = end;
        }
        i = end;
    }
    w.Text(text.substr(from));
}

void WriteEpub3Paragraph(std::string& out, const char* cls, std::string_view text, bool vertical) {
    TXmlWriter w(out, LayoutFor(TBookKind::Epub3).xml);
    w.Open("p");
    if (cls) w.Attr("class", cls);
    AppendUprightDigits(w, text, vertical);
    w.Close().Line();
}

void WriteEpub3Heading(std::string& out, const char* tag, std::string_view text, bool vertical) {
    TXmlWriter w(out, LayoutFor(TBookKind::Epub3).xml);
    w.Open(tag);
    AppendUprightDigits(w, text, vertical);
    w.Close().Line();
}

}  // namespace qm
