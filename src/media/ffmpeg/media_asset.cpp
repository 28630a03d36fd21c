#include "media/media_asset.hpp"

#include "media/ffmpeg/container_duration.hpp"
#include "media/ffmpeg/demuxer.hpp"
#include "media/ffmpeg/file_descriptor.hpp"
#include "media/ffmpeg/file_io.hpp"
#include "media/ffmpeg/frame_extraction.hpp"

namespace korvel {

// Members are destroyed in reverse: the demuxer before its reader, the reader before the file.
struct MediaAsset::Impl {
  FileDescriptor file;
  IoContextPtr io;
  Demuxer demuxer;
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
      std::make_unique<Impl>(Impl{std::move(file), std::move(io), std::move(demuxer)}));
}

double MediaAsset::loadDuration() {
  return containerDuration(impl_->demuxer);
}

FrameImage MediaAsset::imageAt(MediaTime time, double maxSide, bool applyPreferredTransform) {
  return extractFrame(impl_->demuxer, time, maxSide, applyPreferredTransform);
}

}  // namespace korvel
