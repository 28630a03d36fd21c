// The FFmpeg korvel is linked with (bundled or the system's) has every component that
// accepted_media.txt lists, including codecs no fixture can hold (nothing encodes VC-1 or VP6),
// and korvel has a timeline rule for every accepted container.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/bsf.h>
#include <libavformat/avformat.h>
}

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "ffmpeg/input/accepted_media.hpp"
#include "ffmpeg/timeline/container_rules.hpp"

namespace korvel {
namespace {

std::vector<std::string> commaList(std::string_view text) {
  std::vector<std::string> items;
  std::istringstream stream{std::string(text)};
  for (std::string item; std::getline(stream, item, ',');) {
    items.push_back(item);
  }
  return items;
}

TEST(LinkedFfmpeg, DecodesEveryAcceptedVideoCodec) {
  for (const std::string_view name : kAcceptedVideoCodecs) {
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get_by_name(std::string(name).c_str());
    ASSERT_NE(descriptor, nullptr) << name;
    EXPECT_NE(avcodec_find_decoder(descriptor->id), nullptr) << name;
  }
}

// A container added to the accepted list without a timeline rule would silently get the
// library's reading of its header.
TEST(LinkedFfmpeg, HasEveryListedComponentAndEachContainerItsRule) {
  for (const std::string& name : commaList(kAcceptedFormats)) {
    const AVInputFormat* format = av_find_input_format(name.c_str());
    ASSERT_NE(format, nullptr) << "container " << name;
    EXPECT_EQ(containerRule(*format).demuxer, name);
  }
  for (const std::string& name : commaList(KORVEL_PROBE_DEMUXERS)) {
    EXPECT_NE(av_find_input_format(name.c_str()), nullptr) << "probe " << name;
  }
  for (const std::string& name : commaList(KORVEL_AUDIO_DECODERS)) {
    EXPECT_NE(avcodec_find_decoder_by_name(name.c_str()), nullptr) << "audio " << name;
  }
  for (const std::string& name : commaList(KORVEL_BSFS)) {
    EXPECT_NE(av_bsf_get_by_name(name.c_str()), nullptr) << "bsf " << name;
  }
}

}  // namespace
}  // namespace korvel
