#include "ffmpeg/decode/frame_choice.hpp"

namespace korvel {

FrameChoice::FrameChoice(std::int64_t target, DecodeBudget budget)
    : target_(target), budget_(budget) {}

bool FrameChoice::admitsPacket(std::int64_t bytes) {
  bytesSent_ += bytes;
  return ++packetsSent_ <= budget_.packets && bytesSent_ <= budget_.packetBytes;
}

FrameChoice::Verdict FrameChoice::consider(const DecodedFrame& frame) {
  const bool past = frame.pts && *frame.pts > target_;
  // Past the target the previous clean frame is the one shown; past the budget the latest
  // clean frame is the answer, whatever threads still have in flight.
  if ((frame.clean && past && chosen_) || !withinBudget(frame)) {
    return Verdict::kStop;
  }
  if (!frame.clean) {
    return Verdict::kDrop;
  }
  chosen_ = true;
  const bool coversTarget =
      frame.pts && frame.duration > 0 && *frame.pts + frame.duration > target_;
  return past || coversTarget ? Verdict::kKeepAndStop : Verdict::kKeep;
}

// Counts every decoded frame after the first against the budget, clean or not. The area the
// decoder works on counts too (with room for its alignment), so a crop to a few pixels does
// not hide the work.
bool FrameChoice::withinBudget(const DecodedFrame& frame) {
  if (!decodedAny_) {
    decodedAny_ = true;
    return true;
  }
  if (shownPixels_ + frame.shownPixels > budget_.lumaPixels ||
      codedPixels_ + frame.codedPixels > budget_.codedPixels || framesDecoded_ >= budget_.frames) {
    return false;
  }
  shownPixels_ += frame.shownPixels;
  codedPixels_ += frame.codedPixels;
  ++framesDecoded_;
  return true;
}

}  // namespace korvel
