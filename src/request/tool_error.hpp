#pragma once

#include <exception>

namespace korvel {

// The tool's own failure. The code stays inside the process: every failure looks the same
// from outside, so nothing ever reads it but tests.
class ToolError : public std::exception {
 public:
  enum Code : int {
    kBadInvocation = 1,     // too few arguments, bad Base64, a 0 byte in the path
    kUnusableDuration = 2,  // not finite, not positive, or beyond what milliseconds can hold
    kEncodingFailed = 3,    // no JPEG, or one over the size cap
    kBadRequest = 4,        // unknown command word, bad frame arguments
  };

  explicit ToolError(Code code) noexcept : code_(code) {}

  Code code() const noexcept { return code_; }
  const char* what() const noexcept override { return "korvel"; }

 private:
  Code code_;
};

}  // namespace korvel
