#pragma once

#include "app/result_sink.hpp"
#include "media/media_source.hpp"
#include "request/arguments.hpp"

namespace korvel {

// Loads and gates the media's duration, and only then performs the command named by entry 1,
// putting its answer into `sink`. Throws on any failure.
void runMediaCommand(const Arguments& arguments, MediaSource& media, const ResultSink& sink);

}  // namespace korvel
