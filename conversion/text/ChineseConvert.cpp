#include "conversion/text/ChineseConvert.h"

#include <opencc/opencc.h>
#include <unicode/uloc.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cstring>
#include <future>

#include "conversion/run/Epub3Options.h"
#include "platform/Exceptions.h"

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

// How many Han characters of the text a conversion changes.
size_t ChangedHan(std::string_view text, const TChineseConverter& conversion) {
    const std::string converted = conversion.Convert(text);
    size_t changed = 0;
    int32_t i = 0, j = 0;
    const auto n = static_cast<int32_t>(text.size());
    const auto m = static_cast<int32_t>(converted.size());
    while (i < n && j < m) {
        UChar32 a = 0, b = 0;
        U8_NEXT(text.data(), i, n, a);
        U8_NEXT(converted.data(), j, m, b);
        if (a != b && IsHan(a)) ++changed;
    }
    return changed;
}

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
std::string ChineseForm(std::string_view sample, const TChineseConverter& toSimplified,
                        const TChineseConverter& toTraditional) {
    // The two conversions take about as long; one runs beside the other.
    std::future<size_t> traditional =
        std::async(std::launch::async, [&] { return ChangedHan(sample, toSimplified); });
    const size_t simplified = ChangedHan(sample, toTraditional);
    return traditional.get() > simplified ? "zh-Hant" : "zh-Hans";
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
    const std::string script = ScriptLanguage(Sample(utf8));
    return script.empty() ? TLanguageGuesser().Guess(utf8) : script;
}

bool NeedsChineseForm(std::string_view utf8) {
    return ScriptLanguage(Sample(utf8)).empty();
}

TLanguageGuesser::TLanguageGuesser() : toSimplified_("t2s"), toTraditional_("s2t") {}

std::string TLanguageGuesser::Guess(std::string_view utf8) const {
    const std::string_view sample = Sample(utf8);
    const std::string script = ScriptLanguage(sample);
    return script.empty() ? ChineseForm(sample, toSimplified_, toTraditional_) : script;
}

}  // namespace qm
