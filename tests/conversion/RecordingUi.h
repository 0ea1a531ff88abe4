#pragma once
// A conversion front end that records what the run shows, for the tests.
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "conversion/run/ConversionRun.h"

namespace qm::test {

class RecordingUi : public TConversionUi {
  public:
    void ShowWarning(const std::string& caption, const std::string& text) override {
        warnings.emplace_back(caption, text);
    }
    void ShowResult(const std::string& text, bool) override {
        results.push_back(text);
        if (onResult) onResult();
    }
    void Progress(TConversionPhase phase, int percent) override {
        (phase == TConversionPhase::Pages ? pagePercents : packPercents).push_back(percent);
        if (onProgress) onProgress(phase);
    }

    std::vector<std::pair<std::string, std::string>> warnings;
    std::vector<std::string> results;
    std::vector<int> pagePercents, packPercents;
    std::function<void()> onResult;
    std::function<void(TConversionPhase)> onProgress;
};

}  // namespace qm::test
