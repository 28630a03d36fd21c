#pragma once

#include "cli/arguments.hpp"
#include "cli/source_location.hpp"

namespace korvel {

// Opens the media, loads and gates its duration, and only then performs the command named
// by entry 1, writing its result to standard output. Throws on any failure.
void runMediaCommand(const Arguments& arguments, const SourceLocation& location);

}  // namespace korvel
