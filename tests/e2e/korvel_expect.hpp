#pragma once

// GoogleTest checks of korvel's output contract, reported at the caller's line.

#include <cstdint>
#include <optional>
#include <source_location>
#include <string>
#include <string_view>

#include "korvel_process.hpp"

namespace korvel::e2e {

// Status 1, nothing on stdout, exactly the failure line on stderr.
void expectFailure(const ProcessResult& result,
                   std::source_location where = std::source_location::current());

// Status 0, stdout exactly {"duration_ms":<ms>} with no newline, nothing on stderr.
void expectJson(const ProcessResult& result, std::int64_t durationMs,
                std::source_location where = std::source_location::current());

// Status 0, a well-formed info line and nothing on stderr; returns the duration, or nullopt
// (with a failure recorded) when the output is not such a line.
std::optional<std::int64_t> expectInfoDuration(
    const ProcessResult& result, std::source_location where = std::source_location::current());

std::string infoJson(std::int64_t durationMs);

// A GoogleTest parameter name ([A-Za-z0-9_] only) for any text; other bytes are spelled out
// as _xHH so that names stay distinct.
std::string parameterName(std::string_view text);

}  // namespace korvel::e2e
