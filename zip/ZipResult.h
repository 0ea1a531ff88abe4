#pragma once
// How an outcome leaves the archive layer: a result holds either the value or
// the reason it could not be had, never both. Inside the layer failures are
// raised; Capture turns them into a result at its edge, so a caller of zip/
// checks one thing and never catches.
#include <exception>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>

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
class [[nodiscard]] TZipResult {
  public:
    TZipResult(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    TZipResult(TZipError error) : state_(std::in_place_index<1>, std::move(error)) {}

    explicit operator bool() const { return state_.index() == 0; }
    T& operator*() { return std::get<0>(state_); }
    const T& operator*() const { return std::get<0>(state_); }
    T* operator->() { return &std::get<0>(state_); }
    // Only on failure.
    const TZipError& Error() const { return std::get<1>(state_); }

  private:
    std::variant<T, TZipError> state_;
};

template <>
class [[nodiscard]] TZipResult<void> {
  public:
    TZipResult() = default;
    TZipResult(TZipError error) : error_(std::move(error)), failed_(true) {}

    explicit operator bool() const { return !failed_; }
    const TZipError& Error() const { return error_; }

  private:
    TZipError error_;
    bool failed_ = false;
};

using TZipStatus = TZipResult<void>;

// The error an exception raised inside the layer stands for.
TZipError ErrorOf(const std::exception_ptr& raised);

// Runs work and returns its value, or the reason it raised.
template <typename Work>
auto Capture(Work&& work) -> TZipResult<std::invoke_result_t<Work>> {
    try {
        if constexpr (std::is_void_v<std::invoke_result_t<Work>>) {
            work();
            return {};
        } else {
            return work();
        }
    } catch (...) {
        return ErrorOf(std::current_exception());
    }
}

}  // namespace qm
