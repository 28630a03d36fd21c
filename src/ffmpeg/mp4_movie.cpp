#include "ffmpeg/mp4_movie.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "ffmpeg/file_bytes.hpp"

namespace korvel {
namespace {

constexpr std::uint32_t fourCc(const char (&code)[5]) {
  return static_cast<std::uint32_t>(code[0]) << 24 | static_cast<std::uint32_t>(code[1]) << 16 |
         static_cast<std::uint32_t>(code[2]) << 8 | static_cast<std::uint32_t>(code[3]);
}

// A crafted file may hold millions of tiny boxes; real files hold a few per fragment.
constexpr int kMostBoxes = 1'000'000;

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

// Reads a box body small enough to hold whole; the headers read here are tens of bytes.
std::span<const std::uint8_t> smallBody(FileBytes& file, const Box& box, std::size_t most) {
  return file.read(box.body, static_cast<std::size_t>(std::min<std::int64_t>(
                                 box.end - box.body, static_cast<std::int64_t>(most))));
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

}  // namespace korvel
