#include "ffmpeg/frame_search.hpp"

#include <algorithm>
#include <chrono>

#include "ffmpeg/clean_pictures.hpp"
#include "ffmpeg/encryption.hpp"
#include "ffmpeg/video_stream.hpp"

namespace korvel {
namespace {

// Bounds the decoding after the sync frame: about 72 frames of 1080p or 18 of 4K, well under
// a second on one core, so a file with rare sync frames still answers quickly. Tiny pictures
// cost per frame and per packet more than per pixel, so those are bounded too, and a deadline
// well inside the watchdog's catches whatever else a crafted stream makes slow.
constexpr std::int64_t kDecodeBudgetLumaPixels = 150'000'000;
constexpr std::int64_t kDecodeBudgetCodedPixels = 2 * kDecodeBudgetLumaPixels;
constexpr int kDecodeBudgetFrames = 2000;
constexpr int kDecodeBudgetPackets = 8000;
constexpr std::chrono::seconds kDecodeDeadline{8};

// A seek may land on a sync frame shown after the target (indexes ordered by decode time) or
// between sync frames (broadcast streams); the search then steps back, doubling the step, and
// at last starts from the beginning.
constexpr int kMostRetreats = 12;

std::int64_t knownStreamEnd(const AVStream& stream) {
  if (stream.duration <= 0) {
    return INT64_MAX;
  }
  const std::int64_t start = stream.start_time != AV_NOPTS_VALUE ? stream.start_time : 0;
  return start + stream.duration;
}

class FrameSearch {
 public:
  FrameSearch(AVFormatContext& format, const AVStream& stream, AVCodecContext& decoder,
              std::int64_t target)
      : format_(format),
        stream_(stream),
        decoder_(decoder),
        target_(target),
        streamStart_(stream.start_time != AV_NOPTS_VALUE ? stream.start_time : 0),
        streamEnd_(knownStreamEnd(stream)) {}

  FramePtr run() {
    const PacketPtr packet(av_packet_alloc());
    FramePtr frame(av_frame_alloc());
    if (!packet || !frame) {
      throw MediaError();
    }
    if (positionAtSync(*packet)) {
      do {
        if (packet->stream_index == stream_.index) {
          decode(*packet, *frame);
        }
        av_packet_unref(packet.get());
      } while (!done_ && av_read_frame(&format_, packet.get()) >= 0);
    }
    if (!done_) {
      drain(*frame);
    }
    if (!latest_) {
      throw MediaError();
    }
    return std::move(latest_);
  }

 private:
  // Leaves the sync packet at or before the target in `packet`; false when there is none.
  bool positionAtSync(AVPacket& packet) {
    std::int64_t seekTo = target_;
    std::int64_t step = av_rescale_q(1, AVRational{1, 1}, stream_.time_base);
    for (int retreat = 0; retreat < kMostRetreats && seekTo >= streamStart_; ++retreat) {
      if (av_seek_frame(&format_, stream_.index, seekTo, AVSEEK_FLAG_BACKWARD) < 0) {
        break;
      }
      if (readUntilSync(packet)) {
        return true;
      }
      seekTo -= step;
      step *= 2;
    }
    return readFromStart(packet);
  }

  // Reads to the stream's next sync packet; false when it is shown after the target, or the
  // stream passes the target (or ends) without one.
  bool readUntilSync(AVPacket& packet) {
    while (av_read_frame(&format_, &packet) >= 0) {
      if (packet.stream_index == stream_.index) {
        if ((packet.flags & AV_PKT_FLAG_KEY) != 0) {
          if (packet.pts == AV_NOPTS_VALUE || packet.pts <= target_) {
            return true;
          }
          av_packet_unref(&packet);
          return false;
        }
        if (packet.dts != AV_NOPTS_VALUE && packet.dts > target_) {
          av_packet_unref(&packet);
          return false;
        }
      }
      av_packet_unref(&packet);
    }
    return false;
  }

  // The stream's first packet, whatever it is: the decoder copes with what precedes the first
  // sync frame, and a stream whose demuxer marks none still gets decoded.
  bool readFromStart(AVPacket& packet) {
    // Well before the start, since indexes may order by decode time or skip leading frames.
    const std::int64_t beforeStart =
        streamStart_ - av_rescale_q(10, AVRational{1, 1}, stream_.time_base);
    if (av_seek_frame(&format_, stream_.index, beforeStart, AVSEEK_FLAG_BACKWARD) < 0) {
      av_seek_frame(&format_, stream_.index, beforeStart, 0);
    }
    while (av_read_frame(&format_, &packet) >= 0) {
      if (packet.stream_index == stream_.index) {
        return true;
      }
      av_packet_unref(&packet);
    }
    return false;
  }

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

  void decode(const AVPacket& packet, AVFrame& frame) {
    if (isEncrypted(packet)) {
      throw MediaError();
    }
    if (++packetsSent_ > kDecodeBudgetPackets || std::chrono::steady_clock::now() > deadline_) {
      done_ = true;  // past the budget, the latest clean frame is the answer
      return;
    }
    // Frames that nothing references and that end before the target are never shown.
    decoder_.skip_frame = endsBeforeTarget(packet) ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
    clean_.noteSent(packet);
    // A packet the decoder rejects is corrupt; the frames around it may still decode.
    (void)avcodec_send_packet(&decoder_, &packet);
    receiveFrames(frame);
    // The shown frame is in: drain rather than start decoding frames after it, once clean
    // pictures have begun or when it is the sync frame. Otherwise the answer is the first clean
    // picture, wherever it comes.
    const bool syncFrame = (packet.flags & AV_PKT_FLAG_KEY) != 0;
    if (!done_ && holdsTarget(packet) && (clean_.begun() || syncFrame)) {
      drain(frame);
      if (latest_ || done_) {
        done_ = true;
        return;
      }
      // The sync frame was no clean picture (damaged, or where a gradual refresh begins):
      // decoding starts afresh after it.
      avcodec_flush_buffers(&decoder_);
      clean_.restart();
    }
  }

  void drain(AVFrame& frame) {
    decoder_.skip_frame = AVDISCARD_DEFAULT;
    (void)avcodec_send_packet(&decoder_, nullptr);
    receiveFrames(frame);
  }

  void receiveFrames(AVFrame& frame) {
    while (!done_ && avcodec_receive_frame(&decoder_, &frame) >= 0) {
      cropToPictureArea(frame);
      consider(frame);
    }
  }

  void consider(AVFrame& frame) {
    const std::int64_t pts = frame.best_effort_timestamp;
    const bool known = pts != AV_NOPTS_VALUE;
    const bool clean = clean_.isClean(frame);
    // Past the target the previous clean frame is the one shown; past the budget the latest
    // clean frame is the answer, whatever threads still have in flight.
    if ((clean && known && pts > target_ && latest_) || !withinBudget(frame)) {
      done_ = true;
      av_frame_unref(&frame);
      return;
    }
    if (!clean) {
      av_frame_unref(&frame);
      return;
    }
    if (!latest_) {
      latest_.reset(av_frame_alloc());
      if (!latest_) {
        throw MediaError();
      }
    }
    av_frame_unref(latest_.get());
    av_frame_move_ref(latest_.get(), &frame);
    const bool coversTarget =
        known && latest_->pkt_duration > 0 && pts + latest_->pkt_duration > target_;
    done_ = (known && pts > target_) || coversTarget;
  }

  // Counts every decoded frame after the first against the budget, clean or not. The area the
  // decoder works on counts too (with room for its alignment), so a crop to a few pixels does
  // not hide the work.
  bool withinBudget(const AVFrame& frame) {
    if (!decodedAny_) {
      decodedAny_ = true;
      return true;
    }
    const std::int64_t shown = static_cast<std::int64_t>(frame.width) * frame.height;
    const std::int64_t coded =
        std::max(shown, static_cast<std::int64_t>(decoder_.coded_width) * decoder_.coded_height);
    if (shownPixels_ + shown > kDecodeBudgetLumaPixels ||
        codedPixels_ + coded > kDecodeBudgetCodedPixels || framesDecoded_ >= kDecodeBudgetFrames) {
      return false;
    }
    shownPixels_ += shown;
    codedPixels_ += coded;
    ++framesDecoded_;
    return true;
  }

  AVFormatContext& format_;
  const AVStream& stream_;
  AVCodecContext& decoder_;
  const std::int64_t target_;
  const std::int64_t streamStart_;
  const std::int64_t streamEnd_;
  CleanPictures clean_;
  FramePtr latest_;  // clean, at or before the target unless none was
  std::int64_t shownPixels_ = 0;
  std::int64_t codedPixels_ = 0;
  int framesDecoded_ = 0;
  int packetsSent_ = 0;
  const std::chrono::steady_clock::time_point deadline_ =
      std::chrono::steady_clock::now() + kDecodeDeadline;
  bool decodedAny_ = false;
  bool done_ = false;
};

}  // namespace

FramePtr decodeFrameAt(AVFormatContext& format, const AVStream& stream, AVCodecContext& decoder,
                       std::int64_t target) {
  return FrameSearch(format, stream, decoder, target).run();
}

}  // namespace korvel
