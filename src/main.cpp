// The only file that sees every layer: it puts the FFmpeg media source and standard output
// under the commands, and the commands under the process's run.
#include <memory>

#include "app/media_command.hpp"
#include "ffmpeg/media_file.hpp"
#include "process/result_writer.hpp"
#include "process/run.hpp"
#include "process/watchdog.hpp"
#include "process/work_bound.hpp"

namespace {

void runOnMediaFile(const korvel::CommandLine& commandLine, const korvel::SourcePath& source) {
  const std::unique_ptr<korvel::MediaSource> media = korvel::openMediaFile(source.path);
  korvel::runMediaCommand(commandLine, *media, korvel::writeResult);
}

}  // namespace

int main(int argc, char** argv) {
  korvel::runTool(korvel::CommandLine({argv, argv + argc}), runOnMediaFile,
                  korvel::Watchdog::kDelay, korvel::WorkBound::kMostCpu);
}
