#pragma once

namespace korvel {

// Whether the sample tables of the file `fd`, if it is an MP4, claim no more samples than it
// has bytes: every sample takes at least one, and the library sets aside room for each before
// reading any.
bool mp4SampleTablesFit(int fd);

}  // namespace korvel
