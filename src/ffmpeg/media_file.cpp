#include "ffmpeg/media_file.hpp"

#include "ffmpeg/decode/encryption.hpp"
#include "ffmpeg/frame_extraction.hpp"
#include "ffmpeg/input/charset_modules.hpp"
#include "ffmpeg/input/demuxer.hpp"
#include "ffmpeg/input/file_descriptor.hpp"
#include "ffmpeg/input/file_io.hpp"
#include "ffmpeg/input/library_settings.hpp"
#include "ffmpeg/timeline/timeline.hpp"

namespace korvel {
namespace {

// Members are destroyed in reverse: the demuxer before its reader, the reader before the file.
// The reader points at `reading_`, so a MediaFile never moves.
class MediaFile final : public MediaSource {
 public:
  explicit MediaFile(FileDescriptor opened)
      : file_(std::move(opened)),
        reading_(file_.get()),
        charsets_(CharsetModules::forTransportStream(reading_)),
        io_(makeFileIo(reading_)),
        demuxer_(io_.get(), reading_) {
    markDeclaredEncryption(demuxer_.format(), reading_);
  }
  MediaFile(const MediaFile&) = delete;
  MediaFile& operator=(const MediaFile&) = delete;

  double loadDuration() override { return knownTimeline().seconds; }

  FrameImage imageAt(MediaTime time, double maxSide) override {
    const std::int64_t start = knownTimeline().start;
    FrameImage image = extractFrame(demuxer_, time, start, maxSide);
    checkReading();
    return image;
  }

 private:
  // What was read past the bound is no answer.
  void checkReading() const {
    if (reading_.exhausted()) {
      throw MediaError();
    }
  }

  const Timeline& knownTimeline() {
    if (!timeline_) {
      timeline_ = findTimeline(demuxer_);
      checkReading();
    }
    return *timeline_;
  }

  FileDescriptor file_;
  FileReading reading_;
  CharsetModules charsets_;
  IoContextPtr io_;
  Demuxer demuxer_;
  std::optional<Timeline> timeline_;
};

}  // namespace

std::unique_ptr<MediaSource> openMediaFile(const std::string& path) {
  configureLibraries();
  return std::make_unique<MediaFile>(openRegularFile(path));
}

}  // namespace korvel
