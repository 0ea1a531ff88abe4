#pragma once
// One progress line for a whole batch on stderr, safe to feed from every
// worker thread.
#include <mutex>
#include <string>
#include <vector>

#include "conversion/run/ConversionRun.h"

namespace qm {

class TBatchProgress {
  public:
    // Draws the line only when shown (stderr is a terminal).
    TBatchProgress(size_t books, bool shown);

    // How far book `index` has got; writing the pages counts for the first
    // half of a book, packing them for the second.
    void Update(size_t index, TConversionPhase phase, int percent);
    void BookDone(size_t index, bool converted);
    // Prints a line of its own above the progress line.
    void Note(const std::string& line);
    // Ends the line, so that what follows starts on a fresh one.
    void Finish();

    // The text of the line, as drawn: "[ 3/12]  41%  (1 failed)".
    std::string LineText() const;

  private:
    void Draw();  // with mutex_ held

    mutable std::mutex mutex_;
    std::vector<int> halfPercents_;  // 0..200 per book
    size_t done_ = 0, failed_ = 0;
    bool shown_;
    std::string drawn_;
};

}  // namespace qm
