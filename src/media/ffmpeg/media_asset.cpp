#include "media/media_asset.hpp"

#include "media/ffmpeg/charset_modules.hpp"
#include "media/ffmpeg/demuxer.hpp"
#include "media/ffmpeg/file_descriptor.hpp"
#include "media/ffmpeg/file_io.hpp"
#include "media/ffmpeg/frame_extraction.hpp"
#include "media/ffmpeg/mp4_movie.hpp"
#include "media/ffmpeg/timeline.hpp"

namespace korvel {

// Members are destroyed in reverse: the demuxer before its reader, the reader before the file.
// The reader points at `reading`, so an Impl never moves.
struct MediaAsset::Impl {
  explicit Impl(FileDescriptor opened)
      : file(std::move(opened)),
        charsets(CharsetModules::forTransportStream(file.get())),
        reading{file.get()},
        io(makeFileIo(reading)),
        demuxer(io.get()) {}
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  FileDescriptor file;
  CharsetModules charsets;
  FileReading reading;
  IoContextPtr io;
  Demuxer demuxer;
  std::optional<Timeline> timeline;

  // What was read past the bound is no answer.
  void checkReading() const {
    if (reading.exhausted()) {
      throw MediaError(AVERROR(EFBIG));
    }
  }

  const Timeline& knownTimeline() {
    if (!timeline) {
      timeline = findTimeline(demuxer, file.get());
      checkReading();
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
  // The library would set aside room for every claimed sample before reading one.
  if (!mp4SampleTablesFit(file.get())) {
    throw MediaError(AVERROR_INVALIDDATA);
  }
  return MediaAsset(std::make_unique<Impl>(std::move(file)));
}

double MediaAsset::loadDuration() {
  return impl_->knownTimeline().seconds;
}

FrameImage MediaAsset::imageAt(MediaTime time, double maxSide, bool applyPreferredTransform) {
  const std::int64_t start = impl_->knownTimeline().start;
  FrameImage image = extractFrame(impl_->demuxer, time, start, maxSide, applyPreferredTransform);
  impl_->checkReading();
  return image;
}

}  // namespace korvel
