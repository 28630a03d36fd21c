// Library-loading floor: the cheapest possible process that links the same
// shared libraries as korvel and makes the dynamic loader really map and
// relocate each of them. Timing it shows how much of a korvel run is spent
// before korvel's own code starts. bench/run.sh and bench/ffmpeg_builds.sh
// link it with --no-as-needed against every further library korvel needs.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
#include <libswscale/swscale.h>
#include <turbojpeg.h>
}

int main() {
  // One real call into each library, so no linker setting can drop it and
  // every library's initialisers run, exactly as in a korvel process.
  unsigned sum = avformat_version() + avcodec_version() + avutil_version() + swscale_version();
  tjhandle handle = tjInitCompress();
  if (handle != nullptr) {
    tjDestroy(handle);
  }
  return sum == 0 ? 1 : 0;
}
