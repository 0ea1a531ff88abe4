#pragma once
// Simplified / traditional Chinese conversion through OpenCC, and the
// guess of a text's language from its script.
#include <string>
#include <string_view>

namespace qm {

// One OpenCC conversion, loaded once and applied to any number of texts.
class TChineseConverter {
  public:
    // name: one of kConversionNames ("s2t", "t2s" ...). Raises Exception when
    // OpenCC cannot load it.
    explicit TChineseConverter(const std::string& name);
    ~TChineseConverter();
    TChineseConverter(const TChineseConverter&) = delete;
    TChineseConverter& operator=(const TChineseConverter&) = delete;

    std::string Convert(std::string_view utf8) const;

  private:
    void* handle_;
};

// True for a name the options offer.
bool IsKnownConversion(const std::string& name);

// True when tag is a well-formed BCP 47 language tag ("zh-Hant", "en-GB").
bool IsWellFormedLanguageTag(const std::string& tag);

// The language of a text from its script, judged on its first part:
// "ja" when kana are common among the CJK characters, "zh-Hant" or "zh-Hans"
// for Chinese by which of the two forms OpenCC changes less, "en" when
// there is no CJK text or Latin letters outnumber it tenfold.
std::string GuessLanguage(std::string_view utf8);

// The first part of a text, that GuessLanguage reads: the guess from it is
// the guess from the whole, so it can be made while the text changes.
std::string LanguageSample(std::string_view utf8);

}  // namespace qm
