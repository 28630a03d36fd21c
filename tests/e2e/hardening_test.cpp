// Hostile files: whatever a file holds or is, korvel ends with status 0, 1 or 2 and the output
// contract, never by a signal; it opens nothing but the file, and stays within its memory.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <random>
#include <set>
#include <source_location>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "korvel_expect.hpp"
#include "korvel_process.hpp"

namespace korvel::e2e {
namespace {

namespace fs = std::filesystem;

// The address-space cap of the production build; no run may need more.
constexpr long kMemoryBoundKb = 1024 * 1024;
constexpr std::string_view kFaultSignals = "SIGSEGV,SIGBUS,SIGFPE,SIGILL,SIGABRT";

std::string readFile(const fs::path& path) {
  std::ifstream input(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(input), {});
}

void writeFile(const fs::path& path, std::string_view bytes) {
  std::ofstream output(path, std::ios::binary | std::ios::trunc);
  output.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

struct TracedRun {
  ProcessResult result;
  std::vector<std::string> lines;  // empty when strace is unusable
  bool traced = false;
};

// Runs korvel under strace when it can: `filter` picks what the log records.
TracedRun runTraced(const std::vector<std::string>& arguments,
                    const std::vector<std::string>& filter) {
  TracedRun run;
  const auto strace = usableStrace();
  if (!strace) {
    run.result = runKorvel(arguments);
    return run;
  }
  const TemporaryDirectory directory;
  const fs::path log = directory.path() / "strace.log";
  std::vector<std::string> prefix = {strace->string(), "-f", "-qq",       "-s",
                                     "4096",           "-o", log.string()};
  prefix.insert(prefix.end(), filter.begin(), filter.end());
  run.result = runKorvelUnder(prefix, arguments);
  run.traced = true;
  std::ifstream input(log);
  for (std::string line; std::getline(input, line);) {
    run.lines.push_back(line);
  }
  return run;
}

// Records no system call, only the fault signals delivered (a crash the guard contained).
TracedRun runWatchingFaults(const std::vector<std::string>& arguments) {
  return runTraced(arguments, {"--seccomp-bpf", "-e", "trace=none", "-e",
                               "signal=" + std::string(kFaultSignals)});
}

int faultsSeen(const TracedRun& run) {
  return static_cast<int>(std::count_if(run.lines.begin(), run.lines.end(), [](const auto& line) {
    return line.find("--- SIG") != std::string::npos;
  }));
}

std::string joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) {
    text += "\n  " + line;
  }
  return text;
}

// The contract of every run, whatever the input: an exit, not a signal; output only with
// status 0; standard error empty or exactly the failure line, as the status says.
void expectContained(const ProcessResult& result, const std::string& what,
                     std::source_location where = std::source_location::current()) {
  const std::optional<int> status = result.killedByHarness ? std::nullopt : result.exitStatus;
  const bool known = status == 0 || status == 1 || status == 2;
  const bool quietOut = status == 0 || result.out.empty();
  const bool expectedErr = status == 1 ? result.err == kFailureLine : result.err.empty();
  if (!known || !quietOut || !expectedErr) {
    ADD_FAILURE_AT(where.file_name(), static_cast<int>(where.line()))
        << what
        << ": expected status 0, 1 or 2 with the output contract\n  run: " << describe(result);
  }
}

void expectWithinMemoryBound(const ProcessResult& result, const std::string& what,
                             std::source_location where = std::source_location::current()) {
  if (result.maxRssKb >= kMemoryBoundKb) {
    ADD_FAILURE_AT(where.file_name(), static_cast<int>(where.line()))
        << what << ": peak resident memory " << result.maxRssKb << " KiB";
  }
}

// Outcomes of a batch of runs, printed so that a run of the suite can report them.
struct Outcomes {
  int ok = 0;
  int failed = 0;
  int timedOut = 0;
  int other = 0;  // a signal or any other status, already reported as a failure
  int contained = 0;
  long peakRssKb = 0;

  void add(const TracedRun& run) {
    const ProcessResult& result = run.result;
    if (result.killedByHarness || !result.exitStatus) {
      ++other;
    } else if (*result.exitStatus == 0) {
      ++ok;
    } else if (*result.exitStatus == 1) {
      ++failed;
    } else if (*result.exitStatus == 2) {
      ++timedOut;
    } else {
      ++other;
    }
    contained += faultsSeen(run);
    peakRssKb = std::max(peakRssKb, result.maxRssKb);
  }

  void report(std::string_view batch) const {
    std::ostringstream text;
    text << batch << ": " << ok + failed + timedOut + other << " runs, status 0: " << ok
         << ", status 1: " << failed << ", status 2: " << timedOut << ", signal or other: " << other
         << ", faults contained by the guard: " << contained << ", peak RSS " << peakRssKb
         << " KiB";
    std::cout << "[ outcomes ] " << text.str() << std::endl;
    ::testing::Test::RecordProperty("outcomes", text.str());
  }
};

TracedRun runCommand(const fs::path& file, std::string_view command) {
  if (command == "info") {
    return runWatchingFaults({"info", encodePath(file)});
  }
  return runWatchingFaults({"frame", encodePath(file), "0.5", "256"});
}

// Runs info and frame on `file`, checking the contract and memory of both.
void runHostile(const fs::path& file, const std::string& what, Outcomes& outcomes) {
  for (const std::string_view command : {"info", "frame"}) {
    const TracedRun run = runCommand(file, command);
    const std::string label = what + " (" + std::string(command) + ")";
    expectContained(run.result, label);
    expectWithinMemoryBound(run.result, label);
    outcomes.add(run);
  }
}

// --- files that are not files -------------------------------------------------------------

class NotAFile : public ::testing::Test {
 protected:
  TemporaryDirectory directory_;
};

TEST_F(NotAFile, FifoFailsAtOnce) {
  const fs::path fifo = directory_.path() / "video.mp4";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string_view command : {"info", "frame"}) {
    const ProcessResult result = runKorvel({std::string(command), encodePath(fifo), "0.5", "256"});
    expectFailure(result);
    EXPECT_LT(result.wallTime.count(), 10'000) << describe(result);
  }
}

TEST_F(NotAFile, SymbolicLinkToAFifoFails) {
  const fs::path fifo = directory_.path() / "pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const fs::path link = directory_.path() / "video.mp4";
  fs::create_symlink(fifo, link);
  expectFailure(runKorvel({"info", encodePath(link)}));
}

TEST_F(NotAFile, DirectoryFails) {
  expectFailure(runKorvel({"info", encodePath(directory_.path())}));
  expectFailure(runKorvel({"frame", encodePath(directory_.path()), "0.5", "256"}));
}

TEST_F(NotAFile, EndlessDevicesFailAtOnce) {
  for (const char* device : {"/dev/zero", "/dev/urandom", "/dev/null"}) {
    for (const std::string_view command : {"info", "frame"}) {
      const ProcessResult result =
          runKorvel({std::string(command), encodePath(device), "0.5", "256"});
      expectFailure(result);
      EXPECT_LT(result.wallTime.count(), 10'000) << device << ": " << describe(result);
    }
  }
}

TEST_F(NotAFile, SymbolicLinkToADeviceFails) {
  const fs::path link = directory_.path() / "video.mkv";
  fs::create_symlink("/dev/zero", link);
  expectFailure(runKorvel({"frame", encodePath(link), "0.5", "256"}));
}

TEST_F(NotAFile, EmptyFileFails) {
  const fs::path empty = directory_.path() / "empty.mp4";
  writeFile(empty, "");
  expectFailure(runKorvel({"info", encodePath(empty)}));
  expectFailure(runKorvel({"frame", encodePath(empty), "0.5", "256"}));
}

TEST_F(NotAFile, RandomBytesFail) {
  std::mt19937 random(20240611);
  std::uniform_int_distribution<int> byte(0, 255);
  for (const std::size_t size :
       {std::size_t{1}, std::size_t{188}, std::size_t{4096}, std::size_t{1} << 20}) {
    std::string bytes(size, '\0');
    std::generate(bytes.begin(), bytes.end(), [&] { return static_cast<char>(byte(random)); });
    const fs::path file = directory_.path() / ("random_" + std::to_string(size) + ".mp4");
    writeFile(file, bytes);
    expectFailure(runKorvel({"info", encodePath(file)}));
    expectFailure(runKorvel({"frame", encodePath(file), "0.5", "256"}));
  }
}

// --- indirections ---------------------------------------------------------------------------
// indirection_test.cpp traces `info` on the playlist, concat and SDP fixtures where they lie.
// Here: `frame` too, the same texts under a video's name next to their own canary, and an AVI
// whose subtitle stream carries a playlist for a nested demuxer.

constexpr std::string_view kCanaryName = "canary.ts";

std::string le32(std::uint32_t value) {
  std::string bytes;
  for (int shift = 0; shift < 32; shift += 8) {
    bytes += static_cast<char>(value >> shift & 0xFF);
  }
  return bytes;
}

std::string le16(std::uint16_t value) {
  return {static_cast<char>(value & 0xFF), static_cast<char>(value >> 8)};
}

// A RIFF chunk: four-character code, little-endian size, data, padding to an even size.
std::string chunk(std::string_view code, std::string_view data) {
  std::string bytes =
      std::string(code) + le32(static_cast<std::uint32_t>(data.size())) + std::string(data);
  if (data.size() % 2 != 0) {
    bytes += '\0';
  }
  return bytes;
}

std::string list(std::string_view type, std::string_view contents) {
  return chunk("LIST", std::string(type) + std::string(contents));
}

struct AviStream {
  std::string_view type;     // "vids" or "txts"
  std::string_view handler;  // e.g. "MJPG"; four zero bytes for none
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<std::string> frames;  // one "00dc" or "00tx" chunk each, one a second
};

// A one-stream AVI with an index; enough for FFmpeg's demuxer to read its packets.
std::string makeAvi(const AviStream& stream, bool statesLength) {
  const auto count = static_cast<std::uint32_t>(stream.frames.size());
  const std::uint32_t length = statesLength ? count : 0;
  const bool video = stream.type == "vids";
  const std::string avih = le32(1'000'000) + le32(0) + le32(0) + le32(0x10) + le32(length) +
                           le32(0) + le32(1) + le32(0) + le32(stream.width) + le32(stream.height) +
                           std::string(16, '\0');
  const std::string strh = std::string(stream.type) + std::string(stream.handler) + le32(0) +
                           le32(0) + le32(0) + le32(1) + le32(1) + le32(0) + le32(length) +
                           le32(0) + le32(0xFFFFFFFF) + le32(0) + std::string(8, '\0');
  const std::string strf = video
                               ? le32(40) + le32(stream.width) + le32(stream.height) + le16(1) +
                                     le16(24) + std::string(stream.handler) + std::string(20, '\0')
                               : std::string();
  const std::string header =
      list("hdrl", chunk("avih", avih) + list("strl", chunk("strh", strh) + chunk("strf", strf)));
  const std::string_view code = video ? "00dc" : "00tx";
  std::string movi;
  std::string index;
  for (const std::string& frame : stream.frames) {
    // Offsets count from the "movi" code.
    index += std::string(code) + le32(0x10) + le32(static_cast<std::uint32_t>(4 + movi.size())) +
             le32(static_cast<std::uint32_t>(frame.size()));
    movi += chunk(code, frame);
  }
  return chunk("RIFF", "AVI " + header + list("movi", movi) + chunk("idx1", index));
}

// A GAB2 packet: the tag, a version, an empty UTF-16 title, then a whole subtitle file that
// the AVI demuxer probes and opens with a demuxer of its own.
std::string gab2Packet(std::string_view file) {
  return std::string("GAB2\0", 5) + le16(2) + le32(2) + std::string(2, '\0') + le16(4) +
         le32(static_cast<std::uint32_t>(file.size())) + std::string(file);
}

std::string playlistNaming(std::string_view canary) {
  return "#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:1\n#EXT-X-MEDIA-SEQUENCE:0\n"
         "#EXTINF:1.0,\n" +
         std::string(canary) + "\n#EXTINF:1.0,\nhttp://127.0.0.1:9/canary.ts\n#EXT-X-ENDLIST\n";
}

std::string concatNaming(std::string_view canary) {
  return "ffconcat version 1.0\nfile " + std::string(canary) +
         "\nduration 1.0\nfile http://127.0.0.1:9/canary.ts\nduration 1.0\n";
}

// Opens (of the canary or of anything in the directory but the given file) and connections.
std::vector<std::string> foreignAccess(const TracedRun& run, const fs::path& given) {
  std::vector<std::string> foreign;
  const std::string directory = given.parent_path().string();
  for (const std::string& line : run.lines) {
    const bool network =
        line.find("connect(") != std::string::npos || line.find("bind(") != std::string::npos;
    const bool inDirectory = line.find(directory) != std::string::npos;
    const bool isGiven = line.find('"' + given.string() + '"') != std::string::npos;
    if (network || line.find(kCanaryName) != std::string::npos || (inDirectory && !isGiven)) {
      foreign.push_back(line);
    }
  }
  return foreign;
}

struct IndirectionCase {
  std::string_view name;
  std::string_view fileName;
  std::string (*contents)();
};

std::string hlsAsMp4() {
  return playlistNaming(kCanaryName);
}
std::string concatAsMkv() {
  return concatNaming(kCanaryName);
}
std::string sdpAsTs() {
  return readFile(fixturePath("session.sdp"));
}
std::string hlsAsAvi() {
  return playlistNaming(kCanaryName);
}
std::string aviWithPlaylistSubtitles() {
  return makeAvi(
      {"txts",
       std::string_view("\0\0\0\0", 4),
       0,
       0,
       {gab2Packet(playlistNaming(kCanaryName)), gab2Packet(playlistNaming("/dev/zero"))}},
      false);
}
void PrintTo(const IndirectionCase& indirection, std::ostream* out) {
  *out << indirection.name;
}

class DisguisedIndirection : public ::testing::TestWithParam<IndirectionCase> {};

TEST_P(DisguisedIndirection, FailsWithoutOpeningWhatItNames) {
  const TemporaryDirectory directory;
  const fs::path canary = directory.path() / kCanaryName;
  fs::copy_file(fixturePath("indirection_canary.ts"), canary);
  const fs::path file = directory.path() / GetParam().fileName;
  writeFile(file, GetParam().contents());

  for (const std::string_view command : {"info", "frame"}) {
    const TracedRun run = runTraced({std::string(command), encodePath(file), "0.5", "256"},
                                    {"-e", "trace=open,openat,connect,bind"});
    expectFailure(run.result);
    if (run.traced) {
      EXPECT_TRUE(foreignAccess(run, file).empty())
          << command
          << " opened or connected beyond the given file:" << joined(foreignAccess(run, file));
    }
  }
  if (!usableStrace()) {
    GTEST_SKIP() << "strace is absent or cannot trace here; only the outcome was checked";
  }
}

INSTANTIATE_TEST_SUITE_P(Hardening, DisguisedIndirection,
                         ::testing::Values(IndirectionCase{"HlsNamedMp4", "clip.mp4", hlsAsMp4},
                                           IndirectionCase{"ConcatNamedMkv", "clip.mkv",
                                                           concatAsMkv},
                                           IndirectionCase{"SdpNamedTs", "clip.ts", sdpAsTs},
                                           IndirectionCase{"HlsNamedAvi", "clip.avi", hlsAsAvi},
                                           IndirectionCase{"AviWithPlaylistSubtitles", "clip.avi",
                                                           aviWithPlaylistSubtitles}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(IndirectionFixtures, FrameFailsAsInfoDoes) {
  for (const char* name : {"playlist.m3u8", "concat.ffconcat", "session.sdp"}) {
    expectFailure(runKorvel({"frame", encodePath(fixturePath(name)), "0.5", "256"}));
  }
}

// --- a picture larger than any allowed ------------------------------------------------------

std::string be16(std::uint16_t value) {
  return {static_cast<char>(value >> 8), static_cast<char>(value & 0xFF)};
}

// A JPEG whose frame header claims width x height; the scan is the original's.
std::string jpegClaiming(std::uint16_t width, std::uint16_t height) {
  std::string jpeg = readFile(fixturePath("still.jpg"));
  const std::size_t frameHeader = jpeg.find("\xFF\xC0");
  if (frameHeader == std::string::npos) {
    ADD_FAILURE() << "still.jpg has no baseline frame header";
    return jpeg;
  }
  jpeg.replace(frameHeader + 5, 4, be16(height) + be16(width));
  return jpeg;
}

std::string mjpegAvi(std::uint16_t width, std::uint16_t height) {
  const std::string jpeg = jpegClaiming(width, height);
  return makeAvi({"vids", "MJPG", width, height, {jpeg, jpeg, jpeg}}, true);
}

// Bits of an H.264 parameter set, with Exp-Golomb numbers and emulation prevention.
class BitWriter {
 public:
  void bits(std::uint32_t value, int count) {
    for (int i = count - 1; i >= 0; --i) {
      bit((value >> i & 1) != 0);
    }
  }
  void ue(std::uint32_t value) {
    const std::uint32_t coded = value + 1;
    const int length = 32 - __builtin_clz(coded);
    bits(0, length - 1);
    bits(coded, length);
  }
  // The stop bit, then zeros to a byte boundary; escapes every 00 00 0x (x <= 3).
  std::string finish() {
    bit(true);
    while (count_ != 0) {
      bit(false);
    }
    std::string escaped;
    int zeros = 0;
    for (const char byte : bytes_) {
      if (zeros >= 2 && static_cast<unsigned char>(byte) <= 3) {
        escaped += '\x03';
        zeros = 0;
      }
      escaped += byte;
      zeros = byte == 0 ? zeros + 1 : 0;
    }
    return escaped;
  }

 private:
  void bit(bool set) {
    current_ = static_cast<std::uint8_t>(current_ << 1 | (set ? 1 : 0));
    if (++count_ == 8) {
      bytes_ += static_cast<char>(current_);
      current_ = 0;
      count_ = 0;
    }
  }
  std::string bytes_;
  std::uint8_t current_ = 0;
  int count_ = 0;
};

// A Baseline sequence parameter set for a picture of the given macroblocks.
std::string spsClaiming(std::uint32_t widthMbs, std::uint32_t heightMbs) {
  BitWriter sps;
  sps.bits(66, 8);  // Baseline
  sps.bits(0, 8);
  sps.bits(52, 8);  // level 5.2
  sps.ue(0);        // id
  sps.ue(0);        // log2 of the largest frame number, less 4
  sps.ue(2);        // picture order from the frame number
  sps.ue(1);        // reference frames
  sps.bits(0, 1);
  sps.ue(widthMbs - 1);
  sps.ue(heightMbs - 1);
  sps.bits(0b110, 3);  // frames only, 8x8 direct inference, no cropping
  sps.bits(0, 1);      // no VUI
  return "\x67" + sps.finish();
}

std::string ppsForBaseline() {
  BitWriter pps;
  pps.ue(0);
  pps.ue(0);
  pps.bits(0, 2);  // CAVLC, no field order
  pps.ue(0);       // one slice group
  pps.ue(0);
  pps.ue(0);
  pps.bits(0, 3);  // no weighted prediction
  pps.ue(0);       // initial QP and QS offsets, chroma QP offset: all 0 (se(0) == ue(0))
  pps.ue(0);
  pps.ue(0);
  pps.bits(0b100, 3);  // deblocking control, no constrained intra, no redundant pictures
  return "\x68" + pps.finish();
}

std::string avcConfiguration(const std::string& sps, const std::string& pps) {
  return std::string("\x01", 1) + sps.substr(1, 3) + "\xFF\xE1" +
         be16(static_cast<std::uint16_t>(sps.size())) + sps + "\x01" +
         be16(static_cast<std::uint16_t>(pps.size())) + pps;
}

std::uint32_t readBe32(std::string_view bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  }
  return value;
}

void writeBe32(std::string& bytes, std::size_t at, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) {
    bytes[at + i] = static_cast<char>(value >> (24 - 8 * i) & 0xFF);
  }
}

// Offsets of the boxes along `path` (each the first of its type among its siblings); empty
// when one is missing. Sample descriptions and entries hold children after fixed fields.
std::vector<std::size_t> findBoxes(std::string_view bytes, const std::vector<std::string>& path) {
  std::vector<std::size_t> found;
  std::size_t begin = 0;
  std::size_t end = bytes.size();
  for (const std::string& type : path) {
    std::size_t at = begin;
    while (at + 8 <= end && bytes.substr(at + 4, 4) != type) {
      const std::uint32_t size = readBe32(bytes, at);
      if (size < 8) {
        return {};
      }
      at += size;
    }
    if (at + 8 > end) {
      return {};
    }
    found.push_back(at);
    const std::size_t skip = type == "stsd" ? 16 : type == "avc1" ? 86 : 8;
    begin = at + skip;
    end = at + readBe32(bytes, at);
  }
  return found;
}

// info_1500ms.mp4 with its avcC replaced and its sample entry claiming the same size. Its index
// follows the media, so growing the index moves no sample.
std::string mp4Claiming(std::uint32_t widthMbs, std::uint32_t heightMbs) {
  std::string mp4 = readFile(fixturePath("info_1500ms.mp4"));
  const std::vector<std::size_t> boxes =
      findBoxes(mp4, {"moov", "trak", "mdia", "minf", "stbl", "stsd", "avc1", "avcC"});
  if (boxes.size() != 8 || boxes.front() < mp4.find("mdat")) {
    ADD_FAILURE() << "info_1500ms.mp4 is no longer laid out as expected";
    return mp4;
  }
  const std::string avcC = avcConfiguration(spsClaiming(widthMbs, heightMbs), ppsForBaseline());
  const std::size_t at = boxes.back();
  const std::uint32_t oldSize = readBe32(mp4, at);
  mp4.replace(at + 8, oldSize - 8, avcC);
  const auto growth = static_cast<std::uint32_t>(avcC.size() + 8 - oldSize);
  for (const std::size_t box : boxes) {
    writeBe32(mp4, box, readBe32(mp4, box) + growth);
  }
  const std::size_t entry = boxes[6];
  const auto side = [](std::uint32_t mbs) {
    return static_cast<std::uint16_t>(std::min<std::uint32_t>(mbs * 16, 65535));
  };
  mp4.replace(entry + 32, 4, be16(side(widthMbs)) + be16(side(heightMbs)));
  return mp4;
}

class EnormousPicture : public ::testing::Test {
 protected:
  void expectRefused(const std::string& bytes, const std::string& name) {
    const fs::path file = directory_.path() / name;
    writeFile(file, bytes);
    const TracedRun run = runWatchingFaults({"frame", encodePath(file), "0.5", "256"});
    expectFailure(run.result);
    expectWithinMemoryBound(run.result, name);
    EXPECT_EQ(faultsSeen(run), 0) << name << ": " << joined(run.lines);
    std::cout << "[ memory   ] " << name << ": peak RSS " << run.result.maxRssKb << " KiB"
              << std::endl;
  }
  TemporaryDirectory directory_;
};

TEST_F(EnormousPicture, BuildersMakeFilesThatDecode) {
  // Without this, a refusal below could come from a broken file rather than from the size.
  for (const auto& [bytes, name] :
       {std::pair{mjpegAvi(64, 48), "small.avi"}, std::pair{mp4Claiming(10, 8), "small.mp4"}}) {
    const fs::path file = directory_.path() / name;
    writeFile(file, bytes);
    const ProcessResult info = runKorvel({"info", encodePath(file)});
    expectContained(info, name);
    EXPECT_EQ(info.exitStatus, 0) << name << ": " << describe(info);
  }
  const fs::path avi = directory_.path() / "small.avi";
  const ProcessResult frame = runKorvel({"frame", encodePath(avi), "0.5", "256"});
  EXPECT_EQ(frame.exitStatus, 0) << describe(frame);
  EXPECT_TRUE(frame.out.starts_with("\xFF\xD8")) << describe(frame);
}

TEST_F(EnormousPicture, JpegFrameHeaderBeyondTheCapIsRefused) {
  expectRefused(mjpegAvi(12000, 12000), "mjpeg_12000x12000.avi");
}

TEST_F(EnormousPicture, JpegFrameHeaderOfTheLargestSizeIsRefused) {
  expectRefused(mjpegAvi(65535, 65535), "mjpeg_65535x65535.avi");
}

TEST_F(EnormousPicture, H264ParametersBeyondTheCapAreRefused) {
  expectRefused(mp4Claiming(750, 750), "h264_12000x12000.mp4");
}

TEST_F(EnormousPicture, H264ParametersOfAbsurdSizeAreRefused) {
  expectRefused(mp4Claiming(3750, 3750), "h264_60000x60000.mp4");
}

// --- damaged copies of every media file -----------------------------------------------------

bool isMediaFixture(const fs::path& path) {
  static const std::set<std::string> kNotMedia = {".sh",   ".py",       ".md", ".txt",
                                                  ".m3u8", ".ffconcat", ".sdp"};
  return !kNotMedia.contains(path.extension().string());
}

std::vector<fs::path> mediaFiles(const fs::path& root) {
  std::vector<fs::path> files;
  std::error_code error;
  if (!fs::is_directory(root, error)) {
    return files;
  }
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_regular_file() && isMediaFixture(entry.path()) && name != "LICENSE" &&
        name != "NOTICE" && name != "MANIFEST.tsv") {
      files.push_back(entry.path());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

// Stable across runs and machines, unlike std::hash.
std::uint32_t nameSeed(const std::string& name) {
  std::uint32_t hash = 2166136261u;
  for (const char c : name) {
    hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
  }
  return hash;
}

// `count` bytes XORed with a non-zero value, at positions below `span`.
std::string flipped(std::string bytes, std::size_t span, int count, std::mt19937& random) {
  std::uniform_int_distribution<std::size_t> position(0, std::min(span, bytes.size()) - 1);
  std::uniform_int_distribution<int> mask(1, 255);
  for (int i = 0; i < count; ++i) {
    bytes[position(random)] ^= static_cast<char>(mask(random));
  }
  return bytes;
}

enum class Damage { kTruncated, kFlipped };

void runDamaged(const std::vector<fs::path>& files, Damage damage, std::string_view batch) {
  if (files.empty()) {
    GTEST_SKIP() << "no media files";
  }
  const TemporaryDirectory directory;
  Outcomes outcomes;
  for (const fs::path& source : files) {
    const std::string bytes = readFile(source);
    if (bytes.empty()) {
      continue;
    }
    const fs::path copy = directory.path() / ("damaged" + source.extension().string());
    std::vector<std::pair<std::string, std::string>> variants;
    if (damage == Damage::kTruncated) {
      for (const int percent : {0, 10, 50, 90}) {
        const std::size_t length = std::max<std::size_t>(1, bytes.size() * percent / 100);
        variants.emplace_back(std::to_string(length) + " bytes", bytes.substr(0, length));
      }
    } else {
      std::mt19937 random(nameSeed(source.filename().string()));
      variants.emplace_back("8 bytes flipped", flipped(bytes, bytes.size(), 8, random));
      variants.emplace_back("8 header bytes flipped", flipped(bytes, 4096, 8, random));
    }
    for (const auto& [how, variant] : variants) {
      writeFile(copy, variant);
      runHostile(copy, source.string() + ", " + how, outcomes);
    }
  }
  outcomes.report(batch);
}

TEST(DamagedFixtures, TruncatedCopiesKeepTheContract) {
  runDamaged(mediaFiles(fixturePath("")), Damage::kTruncated, "truncated fixtures");
}

TEST(DamagedFixtures, FlippedCopiesKeepTheContract) {
  runDamaged(mediaFiles(fixturePath("")), Damage::kFlipped, "flipped fixtures");
}

TEST(DamagedSharedMedia, TruncatedCopiesKeepTheContract) {
  runDamaged(mediaFiles(sharedMediaDirectory()), Damage::kTruncated, "truncated shared media");
}

TEST(DamagedSharedMedia, FlippedCopiesKeepTheContract) {
  runDamaged(mediaFiles(sharedMediaDirectory()), Damage::kFlipped, "flipped shared media");
}

// --- inputs the fuzzers found ---------------------------------------------------------------

struct RegressionCase {
  std::string_view file;
  int frameStatus;
};

void PrintTo(const RegressionCase& regression, std::ostream* out) {
  *out << regression.file;
}

class FuzzRegression : public ::testing::TestWithParam<RegressionCase> {};

// Each once crashed or read an impossible value. The crash guard hid a crash as an ordinary
// failure, so the runs are also watched for fault signals; the sanitized build sees the rest.
TEST_P(FuzzRegression, KeepsTheContractWithoutAFault) {
  const fs::path file = fixturePath("regressions") / GetParam().file;
  for (const std::string_view command : {"info", "frame"}) {
    const TracedRun run = runCommand(file, command);
    expectContained(run.result, file.string());
    EXPECT_EQ(faultsSeen(run), 0) << command << ": " << joined(run.lines);
  }
  const ProcessResult frame = runKorvel({"frame", encodePath(file), "0.5", "256"});
  EXPECT_EQ(frame.exitStatus, GetParam().frameStatus) << describe(frame);
}

INSTANTIATE_TEST_SUITE_P(Hardening, FuzzRegression,
                         ::testing::Values(RegressionCase{"audio_only.mpg", 1},
                                           RegressionCase{"audio_only.flv", 1},
                                           RegressionCase{"unnamed_colour_tags_pq.webm", 0},
                                           RegressionCase{"unnamed_colour_tags.webm", 0}),
                         [](const auto& info) { return parameterName(info.param.file); });

}  // namespace
}  // namespace korvel::e2e
