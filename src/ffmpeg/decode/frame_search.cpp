#include "ffmpeg/decode/frame_search.hpp"

#include <algorithm>
#include <optional>

#include "ffmpeg/decode/clean_pictures.hpp"
#include "ffmpeg/decode/decode_loop.hpp"
#include "ffmpeg/decode/encryption.hpp"
#include "ffmpeg/decode/frame_choice.hpp"
#include "ffmpeg/decode/sync_seek.hpp"
#include "ffmpeg/decode/video_stream.hpp"
#include "ffmpeg/input/demuxer.hpp"

namespace korvel {
namespace {

std::int64_t knownStreamEnd(const AVStream& stream) {
  if (stream.duration <= 0) {
    return INT64_MAX;
  }
  const std::int64_t start = stream.start_time != AV_NOPTS_VALUE ? stream.start_time : 0;
  return start + stream.duration;
}

// Reads the stream from its sync packet and decodes it packet by packet, as a player would,
// until the frame choice has its answer.
class FrameSearch {
 public:
  FrameSearch(AVFormatContext& format, const AVStream& stream, AVCodecContext& decoder,
              std::int64_t target)
      : format_(format),
        stream_(stream),
        decoder_(decoder),
        target_(target),
        streamEnd_(knownStreamEnd(stream)),
        choice_(target),
        clean_(decoder.codec_id == AV_CODEC_ID_H264) {}
  FrameSearch(const FrameSearch&) = delete;
  FrameSearch& operator=(const FrameSearch&) = delete;

  FramePtr run() {
    if (seekToSync(format_, stream_, target_, *packet_)) {
      do {
        const bool more = packet_->stream_index != stream_.index || decode(*packet_);
        av_packet_unref(packet_.get());
        if (!more) {
          return answer();
        }
      } while (readPacket(format_, *packet_));
    }
    drain();
    return answer();
  }

 private:
  // The stream's last frames are never skipped: past the end, the last frame is the answer.
  bool endsBeforeTarget(const AVPacket& packet) const {
    if (packet.pts == AV_NOPTS_VALUE || packet.duration <= 0) {
      return false;
    }
    const std::int64_t end = packet.pts + packet.duration;
    return end <= target_ && end < streamEnd_;
  }

  bool holdsTarget(const AVPacket& packet) const {
    return packet.pts != AV_NOPTS_VALUE && packet.duration > 0 && packet.pts <= target_ &&
           target_ < packet.pts + packet.duration;
  }

  // False once the answer is settled.
  bool decode(const AVPacket& packet) {
    if (isEncrypted(packet)) {
      throw MediaError();
    }
    if (!choice_.admitsPacket(packet.size)) {
      return false;  // past the budget, the latest clean frame is the answer
    }
    // Frames that nothing references and that end before the target are never shown.
    decoder_.skip_frame = endsBeforeTarget(packet) ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
    if (!decodePacket(decoder_, &packet, *frame_, take_)) {
      return false;
    }
    // The shown frame is in: drain rather than start decoding frames after it, once clean
    // pictures have begun or when it is the sync frame. Otherwise the answer is the first clean
    // picture, wherever it comes.
    const bool syncFrame = (packet.flags & AV_PKT_FLAG_KEY) != 0;
    if (holdsTarget(packet) && (clean_.begun() || syncFrame)) {
      if (!drain() || choice_.chosen()) {
        return false;
      }
      // The sync frame was no clean picture (damaged, or where a gradual refresh begins):
      // decoding starts afresh after it.
      avcodec_flush_buffers(&decoder_);
      clean_.restart();
    }
    return true;
  }

  // False once the answer is settled.
  bool drain() {
    decoder_.skip_frame = AVDISCARD_DEFAULT;
    return decodePacket(decoder_, nullptr, *frame_, take_);
  }

  // Hands a decoded frame to the choice and keeps it when chosen; false once the answer is
  // settled.
  bool takeFrame(AVFrame& frame) {
    cropToPictureArea(frame);
    const std::int64_t pts = frame.best_effort_timestamp;
    const std::int64_t shown = static_cast<std::int64_t>(frame.width) * frame.height;
    const DecodedFrame decoded{
        clean_.isClean(frame), pts != AV_NOPTS_VALUE ? std::optional(pts) : std::nullopt,
        frame.pkt_duration, shown,
        std::max(shown, static_cast<std::int64_t>(decoder_.coded_width) * decoder_.coded_height)};
    const FrameChoice::Verdict verdict = choice_.consider(decoded);
    if (verdict == FrameChoice::Verdict::kDrop || verdict == FrameChoice::Verdict::kStop) {
      av_frame_unref(&frame);
      return verdict == FrameChoice::Verdict::kDrop;
    }
    if (!latest_) {
      latest_ = allocateFrame();
    }
    av_frame_unref(latest_.get());
    av_frame_move_ref(latest_.get(), &frame);
    return verdict == FrameChoice::Verdict::kKeep;
  }

  FramePtr answer() {
    if (!latest_) {
      throw MediaError();
    }
    return std::move(latest_);
  }

  AVFormatContext& format_;
  const AVStream& stream_;
  AVCodecContext& decoder_;
  const std::int64_t target_;
  const std::int64_t streamEnd_;
  FrameChoice choice_;
  CleanPictures clean_;
  const PacketPtr packet_ = allocatePacket();
  const FramePtr frame_ = allocateFrame();
  FramePtr latest_;  // clean, at or before the target unless none was
  const FrameHandler take_ = [this](AVFrame& frame) { return takeFrame(frame); };
};

}  // namespace

FramePtr decodeFrameAt(AVFormatContext& format, const AVStream& stream, AVCodecContext& decoder,
                       std::int64_t target) {
  return FrameSearch(format, stream, decoder, target).run();
}

}  // namespace korvel
