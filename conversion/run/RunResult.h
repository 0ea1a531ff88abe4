#pragma once
// How an outcome leaves the conversion layer: the one result type (see
// platform/Result.h) with the conversion's reasons. Inside the layer
// failures are raised (the archive layer's results raised again with
// Require); CaptureRun turns them into a result at the layer's edge, so a
// front end checks one thing and never catches.
#include <exception>
#include <string>
#include <utility>

#include "platform/Exceptions.h"
#include "platform/Result.h"
#include "zip/ZipResult.h"

namespace qm {

// Why a conversion, or a step a front end asks for, failed. The message is
// the UTF-8 text the user sees under the fixed failure text; the kind is
// for front ends that act on the reason.
struct TRunError {
    enum class Kind {
        Failed,      // anything else
        Canceled,    // the run was asked to stop
        NotTxt,      // the source is not a ".txt" file
        NamedPipe,   // the source is a named pipe
        Unreadable,  // the source (or the target to check) cannot be opened
        NotABook,    // the target holds something a conversion must not replace
        NotStarted,  // the run could not begin, so no result was shown
    };
    Kind kind = Kind::Failed;
    std::string message;
};

template <typename T>
using TRunResult = TResult<T, TRunError>;
using TRunStatus = TRunResult<void>;

// A failure raised inside the layer, given back unchanged at its edge.
class ERunFailure : public Exception {
  public:
    explicit ERunFailure(TRunError error) : Exception(error.message), error_(std::move(error)) {}
    const TRunError& Error() const { return error_; }

  private:
    TRunError error_;
};

// The archive layer's reason as the conversion's (a stop stays a stop).
TRunError RunErrorOf(const TZipError& error);
// The reason an exception raised inside the layer stands for.
TRunError RunErrorOf(const std::exception_ptr& raised);

// Raises a failed result inside the layer.
void Require(const TRunStatus& status);
void Require(const TZipStatus& status);
template <typename T>
T Require(TZipResult<T> result) {
    if (!result) throw ERunFailure(RunErrorOf(result.Error()));
    return std::move(*result);
}
template <typename T>
T Require(TRunResult<T> result) {
    if (!result) throw ERunFailure(result.Error());
    return std::move(*result);
}

// Runs work and returns its value, or the reason it raised.
template <typename Work>
auto CaptureRun(Work&& work) {
    return CaptureWith([](const std::exception_ptr& raised) { return RunErrorOf(raised); },
                       std::forward<Work>(work));
}

}  // namespace qm
