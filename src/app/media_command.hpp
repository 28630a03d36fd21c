#pragma once

#include "app/result_sink.hpp"
#include "media/media_source.hpp"
#include "request/command_line.hpp"

namespace korvel {

// Loads and gates the media's duration, and only then reads and performs the command, putting
// its answer into `sink`. Throws on any failure.
void runMediaCommand(const CommandLine& commandLine, MediaSource& media, const ResultSink& sink);

}  // namespace korvel
