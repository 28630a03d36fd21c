#pragma once

#include <cstdint>

namespace korvel {

// The threads a decoder of pictures of `pixels` (0: not known) gets: one for each processor
// this process may run on, but no more than help (a frame thread adds a frame of latency to a
// seek and holds a picture of its own) and than the pictures in flight fit in memory.
int decoderThreads(std::int64_t pixels);

}  // namespace korvel
