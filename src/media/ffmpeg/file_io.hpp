#pragma once

#include "media/ffmpeg/av_owners.hpp"

namespace korvel {

// An AVIOContext that reads the already opened descriptor `fd` (which must outlive it), so
// the demuxer never resolves a name, a URL or a protocol of its own.
IoContextPtr makeFileIo(int fd);

}  // namespace korvel
