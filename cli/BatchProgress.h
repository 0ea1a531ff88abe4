#pragma once
// The command line's listener of a batch: one progress line for the whole
// batch on stderr, safe to feed from every worker thread, with each made
// book's warnings printed above it.
#include <mutex>
#include <string>
#include <vector>

#include "conversion/run/BatchRun.h"

namespace qm {

class TInterruptWatch;

class TBatchProgress : public TBatchListener {
  public:
    // Draws the line only when shown (stderr is a terminal). The batch's
    // work directory goes, too, should the watch end the program itself.
    TBatchProgress(const std::vector<TBatchBook>& books, bool shown, const TInterruptWatch& watch);

    // Writing the pages counts for the first half of a book, packing them
    // for the second.
    void BookProgress(size_t index, TConversionPhase phase, int percent) override;
    void BookWarning(size_t index, const std::string& text) override;
    void BookDone(size_t index, const TBatchBookDone& done) override;
    void WorkDirectoryMade(const std::string& path) override;

    // Prints a line of its own above the progress line.
    void Note(const std::string& line);
    // Ends the line, so that what follows starts on a fresh one.
    void Finish();

    // The text of the line, as drawn: "[ 3/12]  41%  (1 failed)".
    std::string LineText() const;

  private:
    void Draw();  // with mutex_ held

    const std::vector<TBatchBook>& books_;
    const TInterruptWatch& watch_;
    mutable std::mutex mutex_;
    std::vector<int> halfPercents_;  // 0..200 per book
    size_t done_ = 0, failed_ = 0;
    bool shown_;
    std::string drawn_;
};

}  // namespace qm
