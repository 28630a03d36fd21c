#include "ffmpeg/mp4_movie.hpp"

#include <algorithm>
#include <array>
#include <limits>
#include <map>
#include <span>

#include "ffmpeg/av_owners.hpp"
#include "ffmpeg/file_bytes.hpp"

namespace korvel {
namespace {

constexpr std::uint32_t fourCc(const char (&code)[5]) {
  return static_cast<std::uint32_t>(code[0]) << 24 | static_cast<std::uint32_t>(code[1]) << 16 |
         static_cast<std::uint32_t>(code[2]) << 8 | static_cast<std::uint32_t>(code[3]);
}

// A crafted file may hold millions of tiny boxes or one huge fragment header; real files hold
// a few boxes per fragment and fragment headers of kilobytes.
constexpr int kMostBoxes = 1'000'000;
constexpr std::size_t kLargestFragmentHeader = std::size_t{16} << 20;

struct Box {
  std::uint32_t type = 0;
  std::int64_t body = 0;
  std::int64_t end = 0;
};

// The boxes between `begin` and `end`, one at a time.
class BoxWalk {
 public:
  BoxWalk(FileBytes& file, std::int64_t begin, std::int64_t end)
      : file_(file), next_(begin), end_(end) {}

  // True when the walk stopped at the box limit rather than at the end or a broken box.
  bool gaveUp() const { return count_ > kMostBoxes; }

  std::optional<Box> next() {
    if (next_ + 8 > end_ || ++count_ > kMostBoxes) {
      return std::nullopt;
    }
    ByteCursor header(file_.read(next_, 16));
    std::uint64_t size = header.u32();
    const std::uint32_t type = header.u32();
    std::int64_t headerBytes = 8;
    if (size == 1) {
      size = header.u64();
      headerBytes = 16;
    } else if (size == 0) {
      size = static_cast<std::uint64_t>(end_ - next_);  // the last box runs to the end
    }
    if (!header.ok() || size < static_cast<std::uint64_t>(headerBytes) ||
        size > static_cast<std::uint64_t>(end_ - next_)) {
      return std::nullopt;
    }
    const Box box{type, next_ + headerBytes, next_ + static_cast<std::int64_t>(size)};
    next_ = box.end;
    return box;
  }

 private:
  FileBytes& file_;
  std::int64_t next_;
  std::int64_t end_;
  int count_ = 0;
};

// A full box's version, with the cursor left after its flags.
std::uint8_t version(ByteCursor& cursor) {
  const auto value = static_cast<std::uint8_t>(cursor.read(1));
  cursor.skip(3);
  return value;
}

std::uint32_t flagsOf(ByteCursor& cursor, std::uint8_t& versionOut) {
  versionOut = static_cast<std::uint8_t>(cursor.read(1));
  return static_cast<std::uint32_t>(cursor.read(3));
}

// The duration field of mvhd or mdhd after its timescale; all ones means "unknown".
struct HeaderTime {
  std::uint32_t timescale = 0;
  bool unknown = false;
  std::uint64_t duration = 0;
};

HeaderTime readHeaderTime(std::span<const std::uint8_t> body) {
  ByteCursor cursor(body);
  const bool wide = version(cursor) == 1;
  cursor.skip(wide ? 16 : 8);  // creation and modification times
  HeaderTime time;
  time.timescale = cursor.u32();
  time.duration = cursor.read(wide ? 8 : 4);
  time.unknown = time.duration == (wide ? std::numeric_limits<std::uint64_t>::max()
                                        : std::numeric_limits<std::uint32_t>::max());
  return cursor.ok() ? time : HeaderTime{};
}

// The edit list as the library applies it: an empty first edit delays the track, and the
// first media edit says which media time is shown first.
struct EditList {
  std::uint64_t emptyDuration = 0;  // in the movie's timescale
  std::int64_t mediaStart = 0;
};

EditList readEditList(std::span<const std::uint8_t> body) {
  ByteCursor cursor(body);
  const bool wide = version(cursor) == 1;
  const std::uint32_t entries = cursor.u32();
  EditList edits;
  for (std::uint32_t i = 0; i < std::min<std::uint32_t>(entries, 2) && cursor.ok(); ++i) {
    const std::uint64_t duration = cursor.read(wide ? 8 : 4);
    const auto time = wide ? static_cast<std::int64_t>(cursor.u64())
                           : static_cast<std::int64_t>(static_cast<std::int32_t>(cursor.u32()));
    cursor.skip(4);  // rate
    if (i == 0 && time == -1) {
      edits.emptyDuration = duration;
    } else {
      edits.mediaStart = std::max<std::int64_t>(time, 0);
      break;
    }
  }
  return cursor.ok() ? edits : EditList{};
}

// Reads a box body small enough to hold whole; the headers read here are tens of bytes.
std::span<const std::uint8_t> smallBody(FileBytes& file, const Box& box, std::size_t most) {
  return file.read(box.body, static_cast<std::size_t>(std::min<std::int64_t>(
                                 box.end - box.body, static_cast<std::int64_t>(most))));
}

void readTrack(FileBytes& file, const Box& trak, std::uint32_t movieTimescale, Mp4Movie& movie) {
  Mp4Track track;
  EditList edits;
  BoxWalk children(file, trak.body, trak.end);
  while (const auto box = children.next()) {
    if (box->type == fourCc("tkhd")) {
      ByteCursor cursor(smallBody(file, *box, 32));
      cursor.skip(version(cursor) == 1 ? 16 : 8);
      track.id = cursor.u32();
    } else if (box->type == fourCc("mdia")) {
      BoxWalk media(file, box->body, box->end);
      while (const auto part = media.next()) {
        if (part->type == fourCc("mdhd")) {
          track.timescale = readHeaderTime(smallBody(file, *part, 64)).timescale;
        }
      }
    } else if (box->type == fourCc("edts")) {
      BoxWalk edit(file, box->body, box->end);
      while (const auto part = edit.next()) {
        if (part->type == fourCc("elst")) {
          edits = readEditList(smallBody(file, *part, 64));
        }
      }
    }
  }
  if (track.timescale > 0 && movieTimescale > 0) {
    track.timeOffset = edits.mediaStart - av_rescale(static_cast<std::int64_t>(edits.emptyDuration),
                                                     track.timescale, movieTimescale);
  }
  movie.tracks.push_back(track);
}

void readMovieExtends(FileBytes& file, const Box& mvex, std::uint32_t movieTimescale,
                      Mp4Movie& movie, std::map<std::uint32_t, std::uint32_t>& defaults) {
  movie.fragmented = true;
  BoxWalk children(file, mvex.body, mvex.end);
  while (const auto box = children.next()) {
    ByteCursor cursor(smallBody(file, *box, 32));
    if (box->type == fourCc("mehd")) {
      const bool wide = version(cursor) == 1;
      const std::uint64_t duration = cursor.read(wide ? 8 : 4);
      const std::uint64_t unknown = wide ? std::numeric_limits<std::uint64_t>::max()
                                         : std::numeric_limits<std::uint32_t>::max();
      if (cursor.ok() && duration > 0 && duration != unknown && movieTimescale > 0) {
        movie.fragmentedSeconds = static_cast<double>(duration) / movieTimescale;
      }
    } else if (box->type == fourCc("trex")) {
      version(cursor);
      const std::uint32_t id = cursor.u32();
      cursor.skip(4);  // sample description
      const std::uint32_t duration = cursor.u32();
      if (cursor.ok()) {
        defaults[id] = duration;
      }
    }
  }
}

// The presentation of one track's fragments so far, in its timescale.
struct FragmentClock {
  std::int64_t nextDecodeTime = 0;
  std::int64_t end = std::numeric_limits<std::int64_t>::min();
};

bool addSaturating(std::int64_t a, std::int64_t b, std::int64_t& sum) {
  return !__builtin_add_overflow(a, b, &sum);
}

// One run of samples: each adds its duration to the decode time; it is shown from its decode
// time plus its composition offset.
bool readTrackRun(ByteCursor& cursor, std::uint32_t defaultDuration, FragmentClock& clock) {
  std::uint8_t runVersion = 0;
  const std::uint32_t flags = flagsOf(cursor, runVersion);
  const std::uint32_t samples = cursor.u32();
  cursor.skip((flags & 0x1 ? 4 : 0) + (flags & 0x4 ? 4 : 0));  // data offset, first flags
  const bool hasDuration = flags & 0x100;
  const bool hasOffset = flags & 0x800;
  const std::size_t entryBytes = (hasDuration ? 4 : 0) + (flags & 0x200 ? 4 : 0) +
                                 (flags & 0x400 ? 4 : 0) + (hasOffset ? 4 : 0);
  if (!cursor.ok() || (entryBytes > 0 && samples > cursor.remaining() / entryBytes)) {
    return false;  // more samples than the box has bytes for
  }
  if (entryBytes == 0) {
    std::int64_t span = 0;
    if (__builtin_mul_overflow(static_cast<std::int64_t>(samples), std::int64_t{defaultDuration},
                               &span) ||
        !addSaturating(clock.nextDecodeTime, span, clock.nextDecodeTime)) {
      return false;
    }
    clock.end = std::max(clock.end, clock.nextDecodeTime);
    return true;
  }
  for (std::uint32_t i = 0; i < samples; ++i) {
    const std::int64_t duration = hasDuration ? cursor.u32() : defaultDuration;
    cursor.skip((flags & 0x200 ? 4 : 0) + (flags & 0x400 ? 4 : 0));
    std::int64_t offset = 0;
    if (hasOffset) {
      const std::uint32_t raw = cursor.u32();
      offset = runVersion == 0 ? std::int64_t{raw} : std::int64_t{static_cast<std::int32_t>(raw)};
    }
    std::int64_t shown = 0;
    std::int64_t shownEnd = 0;
    if (!addSaturating(clock.nextDecodeTime, offset, shown) ||
        !addSaturating(shown, duration, shownEnd) ||
        !addSaturating(clock.nextDecodeTime, duration, clock.nextDecodeTime)) {
      return false;
    }
    clock.end = std::max(clock.end, shownEnd);
  }
  return cursor.ok();
}

// Calls visit(type, body) for each box in `boxes`, a header already read into memory; false when
// a box overruns them or visit says so.
template <typename Visit>
bool forEachBox(std::span<const std::uint8_t> boxes, Visit visit) {
  std::size_t position = 0;
  while (position + 8 <= boxes.size()) {
    ByteCursor header(boxes.subspan(position));
    const std::uint64_t size = header.u32();
    const std::uint32_t type = header.u32();
    if (size < 8 || size > boxes.size() - position) {
      return false;
    }
    if (!visit(type, boxes.subspan(position + 8, size - 8))) {
      return false;
    }
    position += size;
  }
  return true;
}

bool readTrackFragment(std::span<const std::uint8_t> traf, const Mp4Movie& movie,
                       std::map<std::uint32_t, FragmentClock>& clocks) {
  std::optional<std::uint32_t> track;
  std::uint32_t defaultDuration = 0;
  return forEachBox(traf, [&](std::uint32_t type, std::span<const std::uint8_t> bytes) {
    ByteCursor body(bytes);
    if (type == fourCc("tfhd")) {
      std::uint8_t unused = 0;
      const std::uint32_t flags = flagsOf(body, unused);
      track = body.u32();
      body.skip((flags & 0x1 ? 8 : 0) + (flags & 0x2 ? 4 : 0));
      const auto known = std::find_if(movie.tracks.begin(), movie.tracks.end(),
                                      [&](const Mp4Track& entry) { return entry.id == *track; });
      defaultDuration = known != movie.tracks.end() ? known->defaultSampleDuration : 0;
      if (flags & 0x8) {
        defaultDuration = body.u32();
      }
      if (!body.ok()) {
        return false;
      }
    } else if (type == fourCc("tfdt") && track) {
      const bool wide = version(body) == 1;
      const std::uint64_t time = body.read(wide ? 8 : 4);
      if (!body.ok() ||
          time > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        return false;
      }
      clocks[*track].nextDecodeTime = static_cast<std::int64_t>(time);
    } else if (type == fourCc("trun") && track) {
      return readTrackRun(body, defaultDuration, clocks[*track]);
    }
    return true;
  });
}

bool readFragment(FileBytes& file, const Box& moof, const Mp4Movie& movie,
                  std::map<std::uint32_t, FragmentClock>& clocks, ScanBudget& budget) {
  const auto bytes = static_cast<std::size_t>(moof.end - moof.body);
  if (bytes > kLargestFragmentHeader || !budget.spend(static_cast<std::int64_t>(bytes))) {
    return false;
  }
  const std::vector<std::uint8_t> body = [&] {
    const auto span = file.read(moof.body, bytes);
    return std::vector<std::uint8_t>(span.begin(), span.end());
  }();
  if (body.size() != bytes) {
    return false;
  }
  return forEachBox(body, [&](std::uint32_t type, std::span<const std::uint8_t> traf) {
    return type != fourCc("traf") || readTrackFragment(traf, movie, clocks);
  });
}

// The samples a track's size table (stsz or stz2) claims.
std::uint64_t claimedSamples(FileBytes& file, const Box& stbl) {
  std::uint64_t samples = 0;
  BoxWalk children(file, stbl.body, stbl.end);
  while (const auto box = children.next()) {
    if (box->type == fourCc("stsz") || box->type == fourCc("stz2")) {
      ByteCursor cursor(smallBody(file, *box, 12));
      version(cursor);
      cursor.skip(4);  // sample size, or reserved and field size
      samples += cursor.u32();
    }
  }
  return samples;
}

// Descends through the boxes named in `path` below `parent`, calling `visit` at each last one.
template <typename Visit>
void forEachBox(FileBytes& file, const Box& parent, std::span<const std::uint32_t> path,
                Visit&& visit) {
  BoxWalk children(file, parent.body, parent.end);
  while (const auto box = children.next()) {
    if (box->type != path.front()) {
      continue;
    }
    if (path.size() == 1) {
      visit(*box);
    } else {
      forEachBox(file, *box, path.subspan(1), visit);
    }
  }
}

}  // namespace

bool mp4SampleTablesFit(int fd) {
  FileBytes file(fd);
  constexpr std::array kTablePath = {fourCc("moov"), fourCc("trak"), fourCc("mdia"), fourCc("minf"),
                                     fourCc("stbl")};
  std::uint64_t samples = 0;
  forEachBox(file, Box{0, 0, file.size()}, kTablePath,
             [&](const Box& stbl) { samples += claimedSamples(file, stbl); });
  return samples <= static_cast<std::uint64_t>(file.size());
}

std::optional<Mp4Movie> readMp4Movie(int fd) {
  FileBytes file(fd);
  BoxWalk top(file, 0, file.size());
  while (const auto box = top.next()) {
    if (box->type != fourCc("moov")) {
      continue;
    }
    Mp4Movie movie;
    std::map<std::uint32_t, std::uint32_t> defaults;
    std::uint32_t movieTimescale = 0;
    BoxWalk children(file, box->body, box->end);
    while (const auto child = children.next()) {
      if (child->type == fourCc("mvhd")) {
        const HeaderTime time = readHeaderTime(smallBody(file, *child, 64));
        movieTimescale = time.timescale;
        movie.durationUnknown = time.unknown;
      } else if (child->type == fourCc("trak")) {
        readTrack(file, *child, movieTimescale, movie);
      } else if (child->type == fourCc("mvex")) {
        readMovieExtends(file, *child, movieTimescale, movie, defaults);
      }
    }
    for (Mp4Track& track : movie.tracks) {
      track.defaultSampleDuration = defaults[track.id];
    }
    return movie;
  }
  return std::nullopt;
}

std::optional<std::int64_t> mp4FragmentsEnd(int fd, const Mp4Movie& movie,
                                            const std::vector<std::uint32_t>& tracks,
                                            ScanBudget& budget) {
  FileBytes file(fd);
  std::map<std::uint32_t, FragmentClock> clocks;
  BoxWalk top(file, 0, file.size());
  bool anyFragment = false;
  while (const auto box = top.next()) {
    if (!budget.spend(0)) {
      return std::nullopt;
    }
    if (box->type == fourCc("moof")) {
      if (!readFragment(file, *box, movie, clocks, budget)) {
        return std::nullopt;
      }
      anyFragment = true;
    }
  }
  if (!anyFragment || top.gaveUp()) {
    return std::nullopt;
  }
  std::optional<std::int64_t> end;
  for (const Mp4Track& track : movie.tracks) {
    const auto clock = clocks.find(track.id);
    if (clock == clocks.end() || track.timescale == 0 ||
        std::find(tracks.begin(), tracks.end(), track.id) == tracks.end() ||
        clock->second.end == std::numeric_limits<std::int64_t>::min()) {
      continue;
    }
    std::int64_t ticks = 0;
    if (__builtin_sub_overflow(clock->second.end, track.timeOffset, &ticks)) {
      return std::nullopt;
    }
    const std::int64_t shownEnd = av_rescale(ticks, AV_TIME_BASE, track.timescale);
    end = std::max(end.value_or(shownEnd), shownEnd);
  }
  return end;
}

}  // namespace korvel
