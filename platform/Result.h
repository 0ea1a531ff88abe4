#pragma once
// How an outcome leaves a layer: a result holds either the value or the
// reason it could not be had, never both. Each layer names its own reason
// (a kind its callers act on, and the message the user sees) and keeps its
// exceptions, if any, inside: CaptureWith turns a raised one into the
// layer's reason at its edge, so a caller checks one thing and never
// catches. A result must be looked at: dropping one unread is a warning,
// and so an error in this build.
#include <exception>
#include <type_traits>
#include <utility>
#include <variant>

namespace qm {

template <typename T, typename Reason>
class [[nodiscard]] TResult {
  public:
    TResult(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    TResult(Reason error) : state_(std::in_place_index<1>, std::move(error)) {}

    explicit operator bool() const { return state_.index() == 0; }
    T& operator*() { return std::get<0>(state_); }
    const T& operator*() const { return std::get<0>(state_); }
    T* operator->() { return &std::get<0>(state_); }
    const T* operator->() const { return &std::get<0>(state_); }
    // Only on failure.
    const Reason& Error() const { return std::get<1>(state_); }

  private:
    std::variant<T, Reason> state_;
};

template <typename Reason>
class [[nodiscard]] TResult<void, Reason> {
  public:
    TResult() = default;
    TResult(Reason error) : error_(std::move(error)), failed_(true) {}

    explicit operator bool() const { return !failed_; }
    // Only on failure.
    const Reason& Error() const { return error_; }

  private:
    Reason error_{};
    bool failed_ = false;
};

// The result of work returning T: T itself when it is already a result
// with these reasons.
template <typename T, typename Reason>
struct TResultFor {
    using type = TResult<T, Reason>;
};
template <typename T, typename Reason>
struct TResultFor<TResult<T, Reason>, Reason> {
    using type = TResult<T, Reason>;
};

// Runs work and returns its value (or the result it returns), or
// errorOf(what it raised).
template <typename ErrorOf, typename Work>
auto CaptureWith(ErrorOf&& errorOf, Work&& work) ->
    typename TResultFor<std::invoke_result_t<Work>,
                        std::invoke_result_t<ErrorOf, const std::exception_ptr&>>::type {
    try {
        if constexpr (std::is_void_v<std::invoke_result_t<Work>>) {
            work();
            return {};
        } else {
            return work();
        }
    } catch (...) {
        return errorOf(std::current_exception());
    }
}

}  // namespace qm
