#include "app/SizeText.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace qm {
namespace {

// The digits of the value's hundredths, rounded from its 18-significant-digit
// decimal form. Sizes are never negative, so the sign is not kept.
std::string RoundedHundredths(double value) {
    char scientific[64];
    std::snprintf(scientific, sizeof scientific, "%.17e", std::fabs(value));
    // "d.ddddddddddddddddde[+-]xx": 18 digits and a decimal exponent.
    std::string digits;
    const char* p = scientific;
    for (; *p && *p != 'e'; ++p) {
        if (*p >= '0' && *p <= '9') digits += *p;
    }
    const int exponent = *p == 'e' ? std::atoi(p + 1) : 0;
    // Place the digits so that the first two after the point are kept and the
    // next one decides the rounding: integer part has exponent + 1 digits.
    const int keep = exponent + 1 + 2;  // digits up to the second decimal
    std::string kept;
    int decider = 0;
    if (keep <= 0) {
        kept = "0";
        decider = keep == 0 ? digits[0] - '0' : 0;
    } else {
        std::string padded = digits;
        if (static_cast<int>(padded.size()) < keep + 1)
            padded.append(keep + 1 - padded.size(), '0');
        kept = padded.substr(0, keep);
        decider = padded[keep] - '0';
    }
    if (decider >= 5) {
        int i = static_cast<int>(kept.size()) - 1;
        for (; i >= 0 && kept[i] == '9'; --i) kept[i] = '0';
        if (i < 0) {
            kept.insert(kept.begin(), '1');
        } else {
            ++kept[i];
        }
    }
    return kept;
}

}  // namespace

std::string FormatSizeText(double kiloBytes, const std::string& decimalSeparator) {
    std::string hundredths = RoundedHundredths(kiloBytes);
    if (hundredths.size() < 3) hundredths.insert(0, 3 - hundredths.size(), '0');
    // Leading zeros beyond the units digit go.
    size_t first = 0;
    while (first + 3 < hundredths.size() && hundredths[first] == '0') ++first;
    hundredths.erase(0, first);
    std::string text = hundredths.substr(0, hundredths.size() - 2);
    text += decimalSeparator;
    text += hundredths.substr(hundredths.size() - 2);
    text += "KB";
    return text;
}

}  // namespace qm
