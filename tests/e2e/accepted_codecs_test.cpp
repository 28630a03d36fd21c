// Every accepted video codec and container that the other fixtures and the shared media leave
// out decodes: a missing demuxer, decoder or parser in the FFmpeg korvel is built with shows
// here. The files are made by tests/fixtures/codecs/make_codecs.sh.

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

#include "frame_expect.hpp"
#include "jpeg_image.hpp"
#include "korvel_expect.hpp"
#include "korvel_process.hpp"

namespace korvel::e2e {
namespace {

struct CodecFile {
  std::string_view file;
  std::int64_t durationMs;
  int width;   // of the thumbnail at size 256
  int height;  //
  int middleFrame;
};

void PrintTo(const CodecFile& codec, std::ostream* out) {
  *out << codec.file;
}

class AcceptedCodec : public ::testing::TestWithParam<CodecFile> {};

TEST_P(AcceptedCodec, AnswersInfoAndShowsTheMiddleFrame) {
  const CodecFile& codec = GetParam();
  const auto path = fixturePath("codecs/" + std::string(codec.file));
  expectJson(runKorvel({"info", encodePath(path)}), codec.durationMs);
  const auto image = expectThumbnail(runFrame(path, "0.5", "256"), codec.width, codec.height);
  ASSERT_TRUE(image.has_value());
  EXPECT_EQ(readGridIndex(*image), codec.middleFrame);
}

INSTANTIATE_TEST_SUITE_P(Codecs, AcceptedCodec,
                         ::testing::Values(CodecFile{"vp8.webm", 1000, 128, 96, 5},
                                           CodecFile{"mpeg1video.mpg", 1000, 128, 96, 12},
                                           CodecFile{"h263p.avi", 1000, 128, 96, 5},
                                           CodecFile{"mjpeg.avi", 1000, 128, 96, 5},
                                           CodecFile{"theora.ogg", 1000, 128, 96, 5},
                                           CodecFile{"wmv1.asf", 1000, 128, 96, 5},
                                           CodecFile{"wmv2.wmv", 1000, 128, 96, 5},
                                           CodecFile{"msmpeg4v2.avi", 1000, 128, 96, 5},
                                           CodecFile{"msmpeg4v3.avi", 1000, 128, 96, 5},
                                           CodecFile{"flv1.flv", 1000, 128, 96, 5},
                                           CodecFile{"prores.mov", 1000, 128, 96, 5},
                                           // One NTSC frame; the AVI header states square pixels.
                                           CodecFile{"dvvideo.avi", 33, 256, 171, 0}),
                         [](const auto& info) { return parameterName(info.param.file); });

struct AudioFile {
  std::string_view file;
  std::int64_t durationMs;
};

void PrintTo(const AudioFile& audio, std::ostream* out) {
  *out << audio.file;
}

class AcceptedAudio : public ::testing::TestWithParam<AudioFile> {};

TEST_P(AcceptedAudio, AnswersInfo) {
  expectJson(runKorvel({"info", encodePath(fixturePath("codecs/" + std::string(GetParam().file)))}),
             GetParam().durationMs);
}

// MP3's length includes the encoder's delay and padding frames.
INSTANTIATE_TEST_SUITE_P(Codecs, AcceptedAudio,
                         ::testing::Values(AudioFile{"audio.mp3", 1152},
                                           AudioFile{"audio.aiff", 1000}),
                         [](const auto& info) { return parameterName(info.param.file); });

}  // namespace
}  // namespace korvel::e2e
