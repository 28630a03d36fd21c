#include "ffmpeg/encryption.hpp"

namespace korvel {

bool isEncrypted(const AVStream& stream) {
  return av_stream_get_side_data(&stream, AV_PKT_DATA_ENCRYPTION_INIT_INFO, nullptr) != nullptr ||
         av_dict_get(stream.metadata, "enc_key_id", nullptr, 0) != nullptr;
}

bool isEncrypted(const AVPacket& packet) {
  return av_packet_get_side_data(&packet, AV_PKT_DATA_ENCRYPTION_INFO, nullptr) != nullptr;
}

}  // namespace korvel
