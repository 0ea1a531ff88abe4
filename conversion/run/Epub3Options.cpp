#include "conversion/run/Epub3Options.h"

#include <exception>

#include "conversion/book/ChapterDetector.h"
#include "conversion/layout/BookResources.h"
#include "conversion/text/BookEncoding.h"
#include "conversion/text/ChineseConvert.h"

namespace qm {

std::string CheckEpub3Options(const TEpub3Options& options) {
    if (!options.encoding.empty() && !IsKnownEncoding(options.encoding)) {
        return "Unknown text encoding \"" + options.encoding +
               "\" (try GB18030, Big5, UTF-8, UTF-16LE or UTF-16BE).";
    }
    if (!options.language.empty() && !IsWellFormedLanguageTag(options.language)) {
        return "\"" + options.language +
               "\" is not a BCP 47 language tag (such as zh-Hans, zh-Hant, ja or en).";
    }
    if (!options.convert.empty() && !IsKnownConversion(options.convert)) {
        std::string names;
        for (const char* name : kConversionNames)
            names += std::string(names.empty() ? "" : ", ") + name;
        return "Unknown Chinese conversion \"" + options.convert + "\" (one of " + names + ").";
    }
    if (options.unwrap && options.noUnwrap)
        return "--unwrap and --no-unwrap contradict each other.";
    try {
        if (options.chapters)
            const TChapterDetector check(options.chapterPattern, options.volumePattern);
        if (!options.coverPath.empty()) ReadCoverImage(options.coverPath);
        if (!options.fontPath.empty()) ReadFontFile(options.fontPath);
    } catch (const std::exception& error) {
        return error.what();
    }
    return {};
}

}  // namespace qm
