#include "conversion/run/OptionTable.h"

#include <algorithm>
#include <vector>

namespace qm {

std::span<const TOptionRow> OptionTable() {
    return kOptionTable;
}

std::string OptionText(const TOptionRow& row, const TOptionValues& values) {
    TOptionValues& v = const_cast<TOptionValues&>(values);  // the fields are only read
    if (row.text) return row.text(v);
    if (row.number) return std::to_string(row.number(v));
    return row.flag(v) ? "1" : "0";
}

std::string OptionNeedingEpub3(const TOptionValues& values) {
    if (values.epub3.epub3) return {};
    const TOptionValues defaults;
    for (const TOptionRow& row : OptionTable()) {
        if (row.kind == TAppliesTo::Epub3 && OptionText(row, values) != OptionText(row, defaults))
            return std::string("--") + row.longName;
    }
    return {};
}

std::string OptionsFingerprint(const TOptionValues& values) {
    std::vector<const TOptionRow*> placed;
    for (const TOptionRow& row : OptionTable()) {
        if (row.fingerprintPlace > 0) placed.push_back(&row);
    }
    std::ranges::sort(placed, {}, &TOptionRow::fingerprintPlace);
    std::string f;
    for (const TOptionRow* row : placed) {
        if (row->flag) {
            const bool set = OptionText(*row, values) == "1";
            if (row->marks[0] != '\0' && row->marks[1] == '\0' && !set) continue;
            f += row->marks[set ? 0 : 1];
        } else {
            f += OptionText(*row, values);
        }
        f += '\0';
    }
    return f;
}

}  // namespace qm
