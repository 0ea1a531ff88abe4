// Measures how long a whole conversion leaves the window without a chance to
// handle its events: a front end that notes the time of every
// ProcessMessages call and reports the longest gap between two of them, for
// the page step (loading and writing the pages) and for the packing.
// Not a test: it prints figures.
//
// usage: pump_gap BOOK [PARTS] [--epub3]
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "conversion/ConversionRun.h"
#include "conversion/PrepareConversion.h"
#include "platform/TempDir.h"

namespace {

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::duration span) {
    return std::chrono::duration<double, std::milli>(span).count();
}

class GapRecorder : public qm::TConversionUi {
  public:
    void ShowWarning(const std::string& caption, const std::string& text) override {
        std::printf("warning: %s: %s\n", caption.c_str(), text.c_str());
    }
    void ShowResult(const std::string& text) override {
        Note();
        std::printf("result: %s\n", text.c_str());
    }
    void Progress(qm::TConversionPhase phase, int percent) override {
        percent_ = percent;
        if (phase == qm::TConversionPhase::Packing && !packing_) {
            Note();  // the page step ends where the packing reports first
            packing_ = true;
        }
    }
    void ProcessMessages() override {
        Note();
        ++(packing_ ? packPumps : pagePumps);
    }

    double pageGap = 0, packGap = 0;
    int pagePumps = 0, packPumps = 0;
    int pageGapAt = 0, packGapAt = 0;  // the progress where the longest gap began

  private:
    void Note() {
        const Clock::time_point now = Clock::now();
        double& gap = packing_ ? packGap : pageGap;
        const double span = Milliseconds(now - last_);
        if (span > gap) {
            gap = span;
            (packing_ ? packGapAt : pageGapAt) = lastPercent_;
        }
        lastPercent_ = percent_;
        last_ = now;
    }

    Clock::time_point last_ = Clock::now();
    bool packing_ = false;
    int percent_ = 0, lastPercent_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s BOOK [PARTS] [--epub3]\n", argv[0]);
        return 2;
    }
    struct stat st {};
    if (::stat(argv[1], &st) != 0) {
        std::perror(argv[1]);
        return 2;
    }
    try {
        const std::string& tempDirPath = qm::TempDirPath();
        qm::TConversionRequest request;
        request.sourcePath = argv[1];
        request.labelName = "book";
        request.fileSize = qm::RecordedFileSize(st.st_size);
        request.parts = argc > 2 ? std::atoi(argv[2]) : 1;
        // The standard EPUB 3 kind, divided at the book's headings.
        request.options.epub3 = argc > 3 && std::string(argv[3]) == "--epub3";
        request.options.title = "book";
        request.archiveName = tempDirPath + "book.epub";
        GapRecorder ui;
        const Clock::time_point start = Clock::now();
        const qm::TConversionResult result = qm::RunConversion(request, ui, tempDirPath);
        const double total = Milliseconds(Clock::now() - start);
        if (!result.success) std::printf("failed: %s\n", result.reason.c_str());
        std::printf("book %lld bytes, %d parts: %.0f ms in all\n",
                    static_cast<long long>(st.st_size), request.parts, total);
        std::printf("page step: %d pumps, longest gap %.0f ms (from %d%%)\n", ui.pagePumps,
                    ui.pageGap, ui.pageGapAt);
        std::printf("packing:   %d pumps, longest gap %.0f ms (from %d%%)\n", ui.packPumps,
                    ui.packGap, ui.packGapAt);
        return result.success ? 0 : 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}
