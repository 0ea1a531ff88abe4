#pragma once
// How an outcome leaves the archive layer: the one result type (see
// platform/Result.h) with the archive layer's reasons. Inside the layer
// failures are raised; Capture turns them into a result at its edge, so a
// caller of zip/ checks one thing and never catches.
#include <exception>
#include <string>
#include <utility>

#include "platform/Result.h"

namespace qm {

// Why an archive operation failed. The message is the text the user sees
// (the archive component's own wording); the kind is for callers that act
// on the reason.
struct TZipError {
    enum class Kind {
        Failed,        // anything else
        Canceled,      // the run was asked to stop
        NotAnArchive,  // a file that must be an archive is not one
        BadArchive,    // an archive whose records cannot be trusted
        NoRoom,        // the disk is full
        OpenFailed,    // a file could not be opened
        CreateFailed,  // the archive's work file could not be made
    };
    Kind kind = Kind::Failed;
    std::string message;
};

template <typename T>
using TZipResult = TResult<T, TZipError>;
using TZipStatus = TZipResult<void>;

// The error an exception raised inside the layer stands for.
TZipError ErrorOf(const std::exception_ptr& raised);

// Runs work and returns its value, or the reason it raised.
template <typename Work>
auto Capture(Work&& work) {
    return CaptureWith(ErrorOf, std::forward<Work>(work));
}

}  // namespace qm
