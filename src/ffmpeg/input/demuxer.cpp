#include "ffmpeg/input/demuxer.hpp"

#include <cerrno>
#include <cstddef>
#include <vector>

#include "ffmpeg/input/accepted_media.hpp"
#include "ffmpeg/input/decoder_limits.hpp"

namespace korvel {
namespace {

// A damaged piece costs a demuxer an error or two before it finds its footing again; a file that
// gives no packet after this many is broken beyond reading on.
constexpr int kMostReadErrorsInARow = 16;

// What a demuxer may build from one file: far more than real files need (ten hours of 60 fps
// video and its sound index some four million packets; a broadcast multiplex carries tens of
// programs), far less than the memory cap holds. Streams are bounded by their own option.
constexpr std::int64_t kMostIndexEntries = 6'000'000;
constexpr unsigned kMostPrograms = 1000;

bool buildsTooMuch(const AVFormatContext& format) {
  std::int64_t entries = 0;
  for (unsigned i = 0; i < format.nb_streams; ++i) {
    entries += avformat_index_get_entries_count(format.streams[i]);
  }
  return entries > kMostIndexEntries || format.nb_programs > kMostPrograms;
}

// Asked by FFmpeg in its own loops (the stream probing) and by korvel's reading before each
// read: once too much is built, the reading stops for good.
int stopWhenOverBuilt(void* opaque) {
  BuildWatch& watch = *static_cast<BuildWatch*>(opaque);
  if (watch.format != nullptr && buildsTooMuch(*watch.format)) {
    watch.reading.stopped = true;
  }
  return watch.reading.stopped ? 1 : 0;
}

// Every secondary open a demuxer may attempt (references, segments, playlists) ends here.
int refuseSecondaryOpen(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**) {
  return AVERROR(EPERM);
}

FormatContextPtr openFormat(AVIOContext* io, BuildWatch& watch) {
  AVFormatContext* context = avformat_alloc_context();
  if (context == nullptr) {
    throw MediaError();
  }
  context->pb = io;
  context->flags |= AVFMT_FLAG_CUSTOM_IO;
  context->io_open = refuseSecondaryOpen;
  context->interrupt_callback = AVIOInterruptCB{stopWhenOverBuilt, &watch};
  watch.format = context;
  watch.reading.stopper = context->interrupt_callback;

  AVDictionary* rawOptions = nullptr;
  av_dict_set(&rawOptions, "format_whitelist", kAcceptedFormats, 0);
  av_dict_set(&rawOptions, "protocol_whitelist", "none", 0);
  av_dict_set(&rawOptions, "enable_drefs", "0", 0);
  av_dict_set_int(&rawOptions, "max_streams", kMostStreams, 0);
  DictionaryPtr options(rawOptions);

  rawOptions = options.release();
  // A local file: FFmpeg then skips what it does for network reads, such as a pass over every
  // pair of streams' indexes. The file protocol is never opened: korvel's own I/O reads, and
  // no protocol is allowed.
  const int status = avformat_open_input(&context, "file:", nullptr, &rawOptions);
  options.reset(rawOptions);
  if (status < 0) {
    watch.format = nullptr;
    watch.reading.stopper = AVIOInterruptCB{};
    throw MediaError();  // avformat_open_input has freed the context
  }
  return FormatContextPtr(context);
}

}  // namespace

Demuxer::Demuxer(AVIOContext* io, FileReading& reading)
    : watch_{nullptr, reading}, format_(openFormat(io, watch_)), dataStart_(avio_tell(io)) {
  // Some demuxers build their whole index from the header, before a read could stop them.
  if (stopWhenOverBuilt(&watch_) != 0) {
    throw MediaError();
  }
}

void Demuxer::rewind() {
  // By time: some demuxers read past their header while opening (Ogg, its first data page),
  // so the byte where the data starts is not always where reading stood. To the earliest time
  // there is, since a clock may start below zero or wrap (MPEG-TS).
  if (avformat_seek_file(format_.get(), -1, INT64_MIN, INT64_MIN, INT64_MIN, 0) < 0) {
    seekToByte(*format_, dataStart_);
  }
}

bool readPacket(AVFormatContext& format, AVPacket& packet) {
  for (int errors = 0; errors < kMostReadErrorsInARow; ++errors) {
    const int status = av_read_frame(&format, &packet);
    if (status >= 0) {
      return true;
    }
    // What the demuxer could not hold is missing from all it gives after.
    if (status == AVERROR(ENOMEM)) {
      throw MediaError();
    }
    if (status == AVERROR_EOF || avio_feof(format.pb)) {
      return false;
    }
  }
  return false;
}

bool seekToByte(AVFormatContext& format, std::int64_t position) {
  // A byte seek alone leaves a demuxer's own end-of-data state as it was (Matroska's stays
  // set after reading to the end); a seek by time resets it.
  avformat_seek_file(&format, -1, INT64_MIN, INT64_MIN, INT64_MIN, 0);
  return av_seek_frame(&format, -1, position, AVSEEK_FLAG_BYTE) >= 0;
}

bool Demuxer::findStreamInfo() {
  if (!streamsLearned_) {
    // The probing decodes pictures too: the same limits as korvel's own decoders.
    std::vector<DictionaryPtr> limits(format_->nb_streams);
    for (DictionaryPtr& streamLimits : limits) {
      AVDictionary* raw = nullptr;
      av_dict_set_int(&raw, "max_pixels", kLargestPicturePixels, 0);
      av_dict_set_int(&raw, "threads", 1, 0);
      streamLimits.reset(raw);
    }
    std::vector<AVDictionary*> options;
    options.reserve(limits.size());
    for (DictionaryPtr& streamLimits : limits) {
      options.push_back(streamLimits.release());
    }
    const int status = avformat_find_stream_info(format_.get(), options.data());
    if (status == AVERROR(ENOMEM)) {
      throw MediaError();
    }
    streamsLearned_ = status >= 0;
    for (std::size_t i = 0; i < limits.size(); ++i) {
      limits[i].reset(options[i]);  // what the probing left of them
    }
  }
  return *streamsLearned_;
}

}  // namespace korvel
