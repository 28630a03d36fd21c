#include "korvel_expect.hpp"

#include <gtest/gtest.h>

#include <cctype>
#include <charconv>

namespace korvel::e2e {
namespace {

constexpr std::string_view kInfoPrefix = "{\"duration_ms\":";
constexpr std::string_view kInfoSuffix = "}";

void fail(const std::source_location& where, const std::string& what, const ProcessResult& result) {
  ADD_FAILURE_AT(where.file_name(), static_cast<int>(where.line()))
      << what << "\n  run: " << describe(result);
}

bool exitedWith(const ProcessResult& result, int status) {
  return result.exitStatus == status && !result.killedByHarness;
}

}  // namespace

std::string parameterName(std::string_view text) {
  if (text.empty()) {
    return "Empty";
  }
  std::string name;
  for (const char c : text) {
    if (std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_') {
      name += c;
    } else {
      static constexpr std::string_view kHex = "0123456789abcdef";
      name += "_x";
      name += kHex[static_cast<unsigned char>(c) >> 4];
      name += kHex[static_cast<unsigned char>(c) & 15];
    }
  }
  return name;
}

std::string infoJson(std::int64_t durationMs) {
  return std::string(kInfoPrefix) + std::to_string(durationMs) + std::string(kInfoSuffix);
}

void expectFailure(const ProcessResult& result, std::source_location where) {
  if (!exitedWith(result, 1) || !result.out.empty() || result.err != kFailureLine) {
    fail(where, "expected status 1, empty stdout and exactly the failure line on stderr", result);
  }
}

void expectJson(const ProcessResult& result, std::int64_t durationMs, std::source_location where) {
  if (!exitedWith(result, 0) || result.out != infoJson(durationMs) || !result.err.empty()) {
    fail(where, "expected status 0, stdout exactly " + infoJson(durationMs) + ", empty stderr",
         result);
  }
}

std::optional<std::int64_t> expectInfoDuration(const ProcessResult& result,
                                               std::source_location where) {
  const std::string_view out = result.out;
  std::int64_t durationMs = -1;
  bool wellFormed = out.starts_with(kInfoPrefix) && out.ends_with(kInfoSuffix);
  if (wellFormed) {
    const std::string_view digits =
        out.substr(kInfoPrefix.size(), out.size() - kInfoPrefix.size() - kInfoSuffix.size());
    const auto [end, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), durationMs);
    // Canonical decimal only: no sign, no leading zero unless the value is 0.
    wellFormed = error == std::errc() && end == digits.data() + digits.size() && durationMs >= 0 &&
                 digits == std::to_string(durationMs);
  }
  if (!exitedWith(result, 0) || !wellFormed || !result.err.empty()) {
    fail(where, "expected status 0, one info line on stdout, empty stderr", result);
    return std::nullopt;
  }
  return durationMs;
}

}  // namespace korvel::e2e
