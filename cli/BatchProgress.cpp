#include "cli/BatchProgress.h"

#include <algorithm>
#include <cstdio>
#include <numeric>

#include "cli/CliConsole.h"

namespace qm {

TBatchProgress::TBatchProgress(const std::vector<TBatchBook>& books, bool shown,
                               const TInterruptWatch& watch)
    : books_(books), watch_(watch), halfPercents_(books.size(), 0), shown_(shown) {}

void TBatchProgress::BookProgress(size_t index, TConversionPhase phase, int percent) {
    const int value = (phase == TConversionPhase::Packing ? 100 : 0) + std::clamp(percent, 0, 100);
    std::lock_guard lock(mutex_);
    if (value <= halfPercents_[index]) return;
    halfPercents_[index] = value;
    Draw();
}

void TBatchProgress::BookWarning(size_t index, const std::string& text) {
    Note(books_[index].sourcePath + ": " + text);
}

void TBatchProgress::BookDone(size_t index, const TBatchBookDone& done) {
    std::lock_guard lock(mutex_);
    halfPercents_[index] = 200;
    ++done_;
    if (!done.made) ++failed_;
    Draw();
}

void TBatchProgress::WorkDirectoryMade(const std::string& path) {
    watch_.AlsoRemoveOnForcedExit(path);
}

void TBatchProgress::Note(const std::string& line) {
    std::lock_guard lock(mutex_);
    if (!drawn_.empty()) std::fputs("\r\033[K", stderr);
    std::fprintf(stderr, "%s\n", line.c_str());
    if (!drawn_.empty()) std::fputs(drawn_.c_str(), stderr);
    std::fflush(stderr);
}

void TBatchProgress::Finish() {
    std::lock_guard lock(mutex_);
    if (!drawn_.empty()) std::fputc('\n', stderr);
    drawn_.clear();
    shown_ = false;
}

std::string TBatchProgress::LineText() const {
    const size_t total = halfPercents_.size();
    const long sum = std::accumulate(halfPercents_.begin(), halfPercents_.end(), 0L);
    const long percent = total == 0 ? 100 : sum / (2 * static_cast<long>(total));
    const std::string count = std::to_string(total);
    std::string done = std::to_string(done_);
    done.insert(0, count.size() - done.size(), ' ');
    std::string shown = std::to_string(percent) + "%";
    shown.insert(0, 4 - shown.size(), ' ');
    std::string text = "[" + done + "/" + count + "] " + shown;
    if (failed_ > 0) text += "  (" + std::to_string(failed_) + " failed)";
    return text;
}

void TBatchProgress::Draw() {
    if (!shown_) return;
    std::string line(1, '\r');
    line += LineText();
    if (line == drawn_) return;
    drawn_ = line;
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
}

}  // namespace qm
