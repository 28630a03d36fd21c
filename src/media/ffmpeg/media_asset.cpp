#include "media/media_asset.hpp"

#include "media/ffmpeg/demuxer.hpp"
#include "media/ffmpeg/file_descriptor.hpp"
#include "media/ffmpeg/file_io.hpp"
#include "media/ffmpeg/frame_extraction.hpp"
#include "media/ffmpeg/timeline.hpp"

namespace korvel {

// Members are destroyed in reverse: the demuxer before its reader, the reader before the file.
struct MediaAsset::Impl {
  FileDescriptor file;
  IoContextPtr io;
  Demuxer demuxer;
  std::optional<Timeline> timeline;

  const Timeline& knownTimeline() {
    if (!timeline) {
      timeline = findTimeline(demuxer, file.get());
    }
    return *timeline;
  }
};

MediaAsset::MediaAsset(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
MediaAsset::MediaAsset(MediaAsset&&) noexcept = default;
MediaAsset& MediaAsset::operator=(MediaAsset&&) noexcept = default;
MediaAsset::~MediaAsset() = default;

MediaAsset MediaAsset::open(const SourceLocation& location) {
  FileDescriptor file = openRegularFile(location.path);
  IoContextPtr io = makeFileIo(file.get());
  Demuxer demuxer(io.get());
  return MediaAsset(
      std::make_unique<Impl>(Impl{std::move(file), std::move(io), std::move(demuxer), {}}));
}

double MediaAsset::loadDuration() {
  return impl_->knownTimeline().seconds;
}

FrameImage MediaAsset::imageAt(MediaTime time, double maxSide, bool applyPreferredTransform) {
  const std::int64_t start = impl_->knownTimeline().start;
  return extractFrame(impl_->demuxer, time, start, maxSide, applyPreferredTransform);
}

}  // namespace korvel
