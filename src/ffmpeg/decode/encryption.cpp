#include "ffmpeg/decode/encryption.hpp"

#include <string_view>

#include "container/matroska_tracks.hpp"

namespace korvel {
namespace {

constexpr const char* kKeyIdTag = "enc_key_id";

}  // namespace

bool isEncrypted(const AVStream& stream) {
  return av_stream_get_side_data(&stream, AV_PKT_DATA_ENCRYPTION_INIT_INFO, nullptr) != nullptr ||
         av_dict_get(stream.metadata, kKeyIdTag, nullptr, 0) != nullptr;
}

bool isEncrypted(const AVPacket& packet) {
  return av_packet_get_side_data(&packet, AV_PKT_DATA_ENCRYPTION_INFO, nullptr) != nullptr;
}

void markDeclaredEncryption(AVFormatContext& format, ByteSource& file) {
  if (!std::string_view(format.iformat->name).starts_with("matroska")) {
    return;
  }
  const std::vector<bool> encrypted = matroskaVideoTracksEncrypted(file);
  std::size_t track = 0;
  // FFmpeg makes the video tracks' streams first, in order; attachments' pictures come after.
  for (unsigned i = 0; i < format.nb_streams && track < encrypted.size(); ++i) {
    AVStream& stream = *format.streams[i];
    if (stream.codecpar->codec_type != AVMEDIA_TYPE_VIDEO) {
      continue;
    }
    if (encrypted[track++] && av_dict_get(stream.metadata, kKeyIdTag, nullptr, 0) == nullptr &&
        av_dict_set(&stream.metadata, kKeyIdTag, "", 0) < 0) {
      throw MediaError();
    }
  }
}

}  // namespace korvel
