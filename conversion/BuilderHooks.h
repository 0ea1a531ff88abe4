#pragma once
// Routes the archive builder's notifications to the front end for one run.
#include <utility>

#include "conversion/ConversionRun.h"
#include "zip/ZipBuilder.h"

namespace qm {

// Routes the builder's notifications to the front end for one run and puts
// back whatever the builder had before, also when the run fails.
class BuilderHooks {
  public:
    BuilderHooks(TZipBuilder& zip, TConversionUi& ui)
        : zip_(zip),
          percent_(std::move(zip.OnTotalPercentDone)),
          warning_(std::move(zip.WarningBox)),
          control_(zip.RunControl()) {
        zip.SetRunControl(&ui.Control());
        zip.OnTotalPercentDone = [&ui](TZipBuilder&, int32_t percent) {
            ui.Progress(TConversionPhase::Packing, percent);
        };
        zip.WarningBox = [&ui](const std::string& caption, const std::string& text) {
            ui.ShowWarning(caption, text);
        };
    }
    ~BuilderHooks() {
        zip_.OnTotalPercentDone = std::move(percent_);
        zip_.WarningBox = std::move(warning_);
        zip_.SetRunControl(control_);
    }
    BuilderHooks(const BuilderHooks&) = delete;
    BuilderHooks& operator=(const BuilderHooks&) = delete;

  private:
    TZipBuilder& zip_;
    decltype(TZipBuilder::OnTotalPercentDone) percent_;
    decltype(TZipBuilder::WarningBox) warning_;
    const TRunControl* control_;
};

}  // namespace qm
