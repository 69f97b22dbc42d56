// Error types that cross the engine boundary.
#pragma once

#include <stdexcept>
#include <string>

namespace wayloom {

// A precondition of a core builder was violated (e.g. "grid must be non-empty").
// The binding layer raises it as PanicException carrying the text.
class CoreError : public std::runtime_error {
 public:
  explicit CoreError(const std::string& what) : std::runtime_error(what), message_(what) {}
  // The full text, embedded NULs included.
  const std::string& message() const noexcept { return message_; }

 private:
  std::string message_;
};

// A usage error with a fixed message (unknown algorithm, bad heuristic name,
// invalid argument value). The binding layer raises it as ValueError, verbatim.
class UsageError : public std::runtime_error {
 public:
  explicit UsageError(const std::string& what) : std::runtime_error(what), message_(what) {}
  // The full text, embedded NULs included (messages quote user input).
  const std::string& message() const noexcept { return message_; }

 private:
  std::string message_;
};

}  // namespace wayloom
