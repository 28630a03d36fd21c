#pragma once

#include <string_view>

namespace korvel {

// Where every failure ends: the fixed line on standard error, then status 1. The failure
// itself is never looked at, so all failures look alike to the caller.
class FailureSink {
 public:
  static constexpr std::string_view kMessage =
      "Video format cannot be decoded by this operating system.\n";
  static constexpr int kStatus = 1;

  // Async-signal-safe, so that a crash handler may end here too.
  [[noreturn]] static void report() noexcept;
};

}  // namespace korvel
