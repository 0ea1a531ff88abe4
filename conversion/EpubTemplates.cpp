#include "conversion/EpubTemplates.h"

#include "platform/Format.h"

namespace qm {

std::string FormatManifestItem(int k) {
    return Format(kManifestItemFormat, k, k);
}

std::string FormatSpineRef(int k) {
    return Format(kSpineRefFormat, k);
}

std::string FormatNavPoint(int k, std::string_view label) {
    const std::string labelText(label);
    return Format(kNavPointFormat, k, k, labelText.c_str(), k + 1, k);
}

}  // namespace qm
