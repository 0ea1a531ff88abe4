#include "conversion/run/ConversionRun.h"

#include <exception>
#include <utility>
#include <vector>

#include "conversion/run/BookSplitter.h"
#include "conversion/run/Epub3Run.h"
#include "platform/Format.h"

namespace qm {
namespace {

// The classic book: its files rendered in memory and packed as they come
// into a new archive every time, so that the book holds this conversion's
// files only and nothing of an earlier book survives in it.
TConversionResult RunClassicConversion(const TConversionRequest& request, TConversionUi& ui) {
    const TRunStatus made = PackClassicBook(request, ui);
    ui.ShowResult(made ? kConversionSucceededText : FailedBoxText(made.Error().message),
                  static_cast<bool>(made));
    if (!made) return made.Error();
    return TBookReport{};
}

}  // namespace

std::string FailedBoxText(const std::string& reason) {
    std::string shown = kConversionFailedText;
    if (!reason.empty()) shown.append("\n").append(reason);
    return shown;
}

void CheckCancel(TConversionUi& ui) {
    if (ui.Control().CancelRequested()) {
        throw ERunFailure({TRunError::Kind::Canceled, kRunInterruptedText});
    }
}

std::string NamedPipeText(const std::string& path) {
    return Format("\"%s\" is a named pipe, not a file.", path.c_str());
}

TConversionResult RunConversion(const TConversionRequest& request, TConversionUi& ui) {
    try {
        return request.options.epub3 ? RunEpub3Conversion(request, ui)
                                     : RunClassicConversion(request, ui);
    } catch (...) {
        // The front end's own handlers (a result box, say) raised.
        return RunErrorOf(std::current_exception());
    }
}

}  // namespace qm
