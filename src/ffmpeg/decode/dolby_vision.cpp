#include "ffmpeg/decode/dolby_vision.hpp"

extern "C" {
#include <libavutil/dovi_meta.h>
}

namespace korvel {
namespace {

constexpr int kSingleLayerProfile = 5;
constexpr int kAv1Profile = 10;
constexpr int kNoCompatibility = 0;

}  // namespace

bool lacksCompatibleBaseLayer(const AVStream& stream) {
  std::size_t size = 0;
  const std::uint8_t* data = av_stream_get_side_data(&stream, AV_PKT_DATA_DOVI_CONF, &size);
  if (data == nullptr || size < sizeof(AVDOVIDecoderConfigurationRecord)) {
    return false;
  }
  const auto* record = reinterpret_cast<const AVDOVIDecoderConfigurationRecord*>(data);
  const int profile = record->dv_profile;
  return (profile == kSingleLayerProfile || profile == kAv1Profile) &&
         record->dv_bl_signal_compatibility_id == kNoCompatibility;
}

}  // namespace korvel
