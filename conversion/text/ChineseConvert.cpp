#include "conversion/text/ChineseConvert.h"

#include <opencc/opencc.h>
#include <unicode/uloc.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <opencc/Config.hpp>
#include <opencc/Converter.hpp>
#include <vector>

#include "conversion/run/Epub3Options.h"
#include "platform/Exceptions.h"
#include "platform/Format.h"

namespace qm {
namespace {

const opencc_t kNoConverter = reinterpret_cast<opencc_t>(-1);

// The language guess reads this much of the text.
constexpr size_t kLanguageSample = size_t{64} << 10;

bool IsHan(UChar32 c) {
    return (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0x3400 && c <= 0x4DBF) ||
           (c >= 0x20000 && c <= 0x3134F) || (c >= 0xF900 && c <= 0xFAFF);
}
bool IsKana(UChar32 c) {
    return c >= 0x3040 && c <= 0x30FF;
}

// The sample cut back to a whole character.
std::string_view Sample(std::string_view text) {
    if (text.size() <= kLanguageSample) return text;
    size_t end = kLanguageSample;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

// The Han characters of a sample, each once, with how often it occurs.
struct THanCounts {
    std::string lines;           // one character per line
    std::vector<size_t> counts;  // the count of each line's character
};

THanCounts CountHan(std::string_view sample) {
    std::map<UChar32, size_t> seen;
    int32_t i = 0;
    const auto n = static_cast<int32_t>(sample.size());
    while (i < n) {
        UChar32 c = 0;
        U8_NEXT(sample.data(), i, n, c);
        if (IsHan(c)) ++seen[c];
    }
    THanCounts han;
    for (const auto& [c, count] : seen) {
        char utf8[U8_MAX_LENGTH];
        int32_t length = 0;
        U8_APPEND_UNSAFE(utf8, length, c);
        han.lines.append(utf8, static_cast<size_t>(length)).push_back('\n');
        han.counts.push_back(count);
    }
    return han;
}

// One of OpenCC's character dictionaries as a conversion of single
// characters: a few milliseconds to load, where the phrase dictionaries of
// a full conversion take tens. Which characters a text writes in which form
// tells its form as well as its phrases do.
class TCharacterForms {
  public:
    TCharacterForms(const char* dictionary, const std::string& name) {
        const std::string json = Format(
            R"({"name":"%s","segmentation":{"type":"mmseg","dict":{"type":"ocd2","file":"%s"}},)"
            R"("conversion_chain":[{"dict":{"type":"ocd2","file":"%s"}}]})",
            name.c_str(), dictionary, dictionary);
        try {
            converter_ = opencc::Config().NewFromString(json, "");
        } catch (const std::exception&) {
            throw Exception("The Chinese conversion \"" + name + "\" is not available.");
        }
    }

    // How many of the sample's Han characters the dictionary changes.
    size_t Changed(const THanCounts& han) const {
        const std::string converted = converter_->Convert(han.lines);
        const std::string_view before = han.lines, after = converted;
        size_t changed = 0, from = 0, to = 0;
        for (size_t k = 0; k < han.counts.size(); ++k) {
            const size_t fromEnd = before.find('\n', from), toEnd = after.find('\n', to);
            if (toEnd == std::string_view::npos) break;
            if (before.substr(from, fromEnd - from) != after.substr(to, toEnd - to))
                changed += han.counts[k];
            from = fromEnd + 1;
            to = toEnd + 1;
        }
        return changed;
    }

  private:
    std::shared_ptr<opencc::Converter> converter_;
};

// The sample's language when its script alone tells it; empty when it is
// Chinese, whose form the conversions tell.
std::string ScriptLanguage(std::string_view sample) {
    size_t han = 0, kana = 0, latin = 0;
    int32_t i = 0;
    const auto n = static_cast<int32_t>(sample.size());
    while (i < n) {
        UChar32 c = 0;
        U8_NEXT(sample.data(), i, n, c);
        han += IsHan(c);
        kana += IsKana(c);
        latin += (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    }
    // A Latin text that names a few Chinese places is still a Latin text;
    // a word takes about five letters where Chinese takes one or two
    // characters.
    if (han + kana == 0 || latin > 10 * (han + kana)) return "en";
    // Japanese prose writes a good share of its syllables in kana; Chinese
    // has none beyond a quoted word.
    if (kana * 10 > han + kana) return "ja";
    return {};
}

// Traditional when converting to simplified changes more than the other way.
std::string ChineseForm(std::string_view sample, const TCharacterForms& toSimplified,
                        const TCharacterForms& toTraditional) {
    const THanCounts han = CountHan(sample);
    return toSimplified.Changed(han) > toTraditional.Changed(han) ? "zh-Hant" : "zh-Hans";
}

}  // namespace

TChineseConverter::TChineseConverter(const std::string& name) : handle_(kNoConverter) {
    if (IsKnownConversion(name)) handle_ = opencc_open((name + ".json").c_str());
    if (handle_ == kNoConverter) {
        throw Exception("The Chinese conversion \"" + name + "\" is not available.");
    }
}

TChineseConverter::~TChineseConverter() {
    opencc_close(static_cast<opencc_t>(handle_));
}

std::string TChineseConverter::Convert(std::string_view utf8) const {
    if (utf8.empty()) return {};
    char* converted = opencc_convert_utf8(static_cast<opencc_t>(handle_), utf8.data(), utf8.size());
    if (!converted) throw Exception(std::string("Chinese conversion failed: ") + opencc_error());
    std::string result(converted);
    opencc_convert_utf8_free(converted);
    return result;
}

bool IsKnownConversion(const std::string& name) {
    return std::any_of(std::begin(kConversionNames), std::end(kConversionNames),
                       [&](const char* known) { return name == known; });
}

bool IsWellFormedLanguageTag(const std::string& tag) {
    if (tag.empty() || tag.size() > 64) return false;
    char locale[160];
    int32_t parsed = 0;
    UErrorCode error = U_ZERO_ERROR;
    uloc_forLanguageTag(tag.c_str(), locale, sizeof locale, &parsed, &error);
    return U_SUCCESS(error) && parsed == static_cast<int32_t>(tag.size());
}

std::string LanguageSample(std::string_view utf8) {
    return std::string(Sample(utf8));
}

// The dictionaries are loaded only for a Chinese text.
std::string GuessLanguage(std::string_view utf8) {
    const std::string_view sample = Sample(utf8);
    const std::string script = ScriptLanguage(sample);
    if (!script.empty()) return script;
    return ChineseForm(sample, TCharacterForms("TSCharacters.ocd2", "t2s"),
                       TCharacterForms("STCharacters.ocd2", "s2t"));
}

}  // namespace qm
