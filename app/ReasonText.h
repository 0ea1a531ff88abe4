#pragma once
// A run's texts as the window shows them: its reasons and notices in the
// locale's language, by the command line's rule, while the window's own
// Chinese texts stay as they are.
#include <QString>
#include <string>

namespace qm {

QString ReasonText(const std::string& text);

}  // namespace qm
