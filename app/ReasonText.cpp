#include "app/ReasonText.h"

#include "conversion/run/Messages.h"

namespace qm {

QString ReasonText(const std::string& text) {
    // Read once: the locale does not change while the window runs.
    static const TLanguage language = MessageLanguageFromEnvironment();
    return QString::fromStdString(WindowText(text, language));
}

}  // namespace qm
