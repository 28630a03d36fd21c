#include "cli/run.hpp"
#include "cli/watchdog.hpp"
#include "media/media_command.hpp"

int main(int argc, char** argv) {
  const korvel::Arguments arguments(argv, argv + argc);
  korvel::runTool(arguments, korvel::runMediaCommand, korvel::Watchdog::kDelay);
}
