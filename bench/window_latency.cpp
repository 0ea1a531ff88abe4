// How responsive the window stays while a conversion runs: a 1 ms QTimer on
// the window's thread, beside the run's job (the same TConversionJob the
// window starts, its progress shown in a bar as the window shows it), and
// the worst lateness of its timeouts, for the whole run. Boxes the run asks
// for are answered at once. The same timer alone for two seconds first gives
// what the machine's own load costs. Not a test: it prints figures.
//
// usage: window_latency BOOK [PARTS] [--epub3]
// (QT_QPA_PLATFORM=offscreen runs it without a display)
#include <sys/stat.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QProgressBar>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "app/ConversionJob.h"
#include "conversion/run/PrepareConversion.h"
#include "platform/TempDir.h"

namespace {

// The timer's ticks: the longest span between two beyond its interval, and
// where the bar stood when it ended.
class TLateness {
  public:
    void Tick(int barValue) {
        const qint64 now = clock_.nsecsElapsed();
        if (ticks_++ > 0) {
            const double late = static_cast<double>(now - last_) / 1e6 - kIntervalMs;
            if (late > worst_) {
                worst_ = late;
                worstAt_ = barValue;
            }
        }
        last_ = now;
    }
    static constexpr int kIntervalMs = 1;
    double Worst() const { return worst_; }
    int WorstAt() const { return worstAt_; }
    long Ticks() const { return ticks_; }

  private:
    QElapsedTimer clock_ = [] {
        QElapsedTimer clock;
        clock.start();
        return clock;
    }();
    qint64 last_ = 0;
    long ticks_ = 0;
    double worst_ = 0;
    int worstAt_ = 0;
};

qm::TConversionRequest RequestFor(const char* book, int argc, char** argv, off_t size) {
    const std::string& tempDirPath = qm::TempDirPath();
    qm::TConversionRequest request;
    request.sourcePath = book;
    request.labelName = "book";
    request.fileSize = qm::RecordedFileSize(size);
    request.parts = argc > 2 ? std::atoi(argv[2]) : 1;
    // The standard EPUB 3 kind, divided at the book's headings.
    request.options.epub3 = argc > 3 && std::string(argv[3]) == "--epub3";
    request.title = "book";
    request.archiveName = tempDirPath + "book.epub";
    return request;
}

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
    int qtArgc = 1;
    QApplication application(qtArgc, argv);
    try {
        const qm::TConversionRequest request = RequestFor(argv[1], argc, argv, st.st_size);
        QProgressBar bar;
        bar.setRange(0, 100);
        bar.show();
        TLateness lateness;
        QTimer ticker;
        ticker.setTimerType(Qt::PreciseTimer);
        QObject::connect(&ticker, &QTimer::timeout,
                         [&lateness, &bar] { lateness.Tick(bar.value()); });
        qm::TConversionJob job(request, nullptr);
        QObject::connect(&job, &qm::TConversionJob::Progressed, &bar, &QProgressBar::setValue,
                         Qt::QueuedConnection);
        QObject::connect(&job, &qm::TConversionJob::Finished, &application, &QApplication::quit,
                         Qt::QueuedConnection);
        ticker.start(TLateness::kIntervalMs);
        QTimer::singleShot(2000, &application, &QApplication::quit);
        application.exec();
        std::printf("1 ms timer alone for 2 s: %ld ticks, at worst %.1f ms late\n",
                    lateness.Ticks(), lateness.Worst());
        lateness = TLateness();
        QElapsedTimer total;
        total.start();
        job.Start();
        application.exec();
        ticker.stop();
        const qm::TConversionResult& result = job.Result();
        if (!result) std::printf("failed: %s\n", result.Error().message.c_str());
        std::printf("book %lld bytes, %d parts%s: %lld ms in all\n",
                    static_cast<long long>(st.st_size), request.parts,
                    request.options.epub3 ? ", EPUB 3" : "",
                    static_cast<long long>(total.elapsed()));
        std::printf(
            "1 ms timer on the window's thread: %ld ticks, at worst %.1f ms late (bar at %d)\n",
            lateness.Ticks(), lateness.Worst(), lateness.WorstAt());
        return result ? 0 : 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}
