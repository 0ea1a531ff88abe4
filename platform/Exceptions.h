#pragma once
// The exception classes the core raises. Messages are the texts users and
// callers see; they are fixed and must not be reworded.
#include <stdexcept>
#include <string>

namespace qm {

class Exception : public std::runtime_error {
  public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    std::string Message() const { return what(); }
};

// A file could not be created or truncated: "Cannot create file "%s". %s".
class EFCreateError : public Exception {
  public:
    using Exception::Exception;
};

// A file could not be opened: "Cannot open file "%s". %s".
class EFOpenError : public Exception {
  public:
    using Exception::Exception;
};

// A read came up short or failed: "Stream read error".
class EReadError : public Exception {
  public:
    using Exception::Exception;
};

// A write came up short or failed: "Stream write error".
class EWriteError : public Exception {
  public:
    using Exception::Exception;
};

// Index and duplicate errors of the sorted lists.
class EListError : public Exception {
  public:
    using Exception::Exception;
};

// Message builders for the file errors, given the path and an errno value.
std::string CreateErrorText(const std::string& path, int errorNumber);
std::string OpenErrorText(const std::string& path, int errorNumber);
inline constexpr const char* kStreamReadError = "Stream read error";
inline constexpr const char* kStreamWriteError = "Stream write error";

}  // namespace qm
