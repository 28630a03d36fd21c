#pragma once

#include <iconv.h>

#include <memory>
#include <type_traits>
#include <vector>

#include "container/byte_source.hpp"

namespace korvel {

// glibc loads a character-set module the first time a conversion names one, and the MPEG-TS
// demuxer of a library built with iconv names one after a byte of the file (a service name's
// first byte). Opened before the demuxer reads anything, every set it can name is loaded
// whatever the file holds, and stays loaded while it is read.
class CharsetModules {
 public:
  // Loads them when the file looks like MPEG-TS to the library's probe, else nothing; and
  // nothing with the bundled FFmpeg, which is built without iconv.
  static CharsetModules forTransportStream(ByteSource& file);

 private:
  struct Closer {
    void operator()(std::remove_pointer_t<iconv_t>* conversion) const { iconv_close(conversion); }
  };
  std::vector<std::unique_ptr<std::remove_pointer_t<iconv_t>, Closer>> conversions_;
};

}  // namespace korvel
