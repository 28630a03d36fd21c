#!/usr/bin/env bash
# Plants known faults in src/ one at a time, rebuilds, and checks that the test suite fails on
# each. The tree is restored after every mutant and on any exit.
#
#   scripts/mutants.sh             every mutant, each against the tests that should catch it
#                                  (a ctest -R pattern; a subset of the suite that fails means
#                                  the whole suite fails)
#   scripts/mutants.sh --full      every mutant against the whole suite (slow)
#   scripts/mutants.sh NAME...     only these mutants
set -uo pipefail
cd "$(dirname "$0")/.." || exit 2

# name @@ file @@ exact text (once in the file) @@ replacement @@ ctest -R filter
read -r -d '' MUTANTS <<'EOF'
untagged-hd-as-bt601 @@ src/ffmpeg/convert/frame_conversion.cpp @@ kHighDefinitionLines = 720; @@ kHighDefinitionLines = 100000; @@ PictureColorMatrix|^e2e\.frame$
frame-after-the-shown-one @@ src/ffmpeg/decode/frame_search.cpp @@ return FrameSearch(format, stream, decoder, target).run(); @@ return FrameSearch(format, stream, decoder, target + av_rescale_q(1, AVRational{1, 25}, stream.time_base)).run(); @@ ^e2e\.frame$
base64-padding-optional @@ src/request/base64.cpp @@ if (text.size() % 4 != 0) { @@ if (false) { @@ MalformedBase64
failure-line-without-line-feed @@ src/process/failure_sink.hpp @@ this operating system.\n"; @@ this operating system."; @@ RunTool|^e2e\.info$
small-pictures-enlarged @@ src/picture/frame_geometry.cpp @@ longSide * std::min(1.0, maxSide / longSide) @@ longSide * (maxSide / longSide) @@ FitInside|^e2e\.frame$
mirror-ignored @@ src/picture/frame_geometry.cpp @@ return Orientation{false, a < 0, d < 0}; @@ return Orientation{false, false, d < 0}; @@ OrientationTest|^e2e\.frame$
fifo-open-blocks @@ src/ffmpeg/input/file_descriptor.cpp @@ O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY @@ O_RDONLY | O_CLOEXEC | O_NOCTTY @@ ^e2e\.arguments$
fifo-open-blocks @@ src/ffmpeg/input/file_descriptor.cpp @@ if (stat(path.c_str(), &named) != 0 || !S_ISREG(named.st_mode)) { @@ if (stat(path.c_str(), &named) != 0) { @@ ^e2e\.arguments$
milliseconds-rounded @@ src/app/info_command.cpp @@ return static_cast<std::int64_t>(milliseconds); @@ return static_cast<std::int64_t>(milliseconds + 0.5); @@ DurationMilliseconds
hdr-never-tone-mapped @@ src/ffmpeg/frame_extraction.cpp @@ const std::optional<HdrSignal> hdr = findHdrSignal(*frame, stream); @@ const std::optional<HdrSignal> hdr = std::nullopt; @@ ^e2e\.hdr$
pixel-aspect-ignored @@ src/ffmpeg/frame_extraction.cpp @@ ? av_q2d(aspect) : 1.0; @@ ? 1.0 : 1.0; @@ ^e2e\.frame$
decode-budget-ten-times @@ src/ffmpeg/decode/frame_choice.hpp @@ lumaPixels = 150'000'000; @@ lumaPixels = 1'500'000'000; @@ ^e2e\.frame$
watchdog-300-seconds @@ src/process/watchdog.hpp @@ std::chrono::seconds(30); @@ std::chrono::seconds(300); @@ ^e2e\.hardening$
ogg-late-start-counted-from-zero @@ src/ffmpeg/timeline/container_rules.cpp @@ ContainerRule{"ogg", kZeroUnlessLate, @@ ContainerRule{"ogg", kZero, @@ ^e2e\.(info|frame)$
matroska-duration-unchecked @@ src/ffmpeg/timeline/timeline.cpp @@ *stated <= std::max(*measured, captionsEnd) + kHeaderRounding @@ *stated <= std::max(*measured, captionsEnd) + 1e9 @@ ^e2e\.hardening$
clock-jumps-counted @@ src/ffmpeg/timeline/timeline.cpp @@ std::int64_t end = saturatingSub(last.end, last.gaps); @@ std::int64_t end = last.end; @@ ^e2e\.hardening$
frame-count-claims-unchecked @@ src/ffmpeg/timeline/timeline.cpp @@ if (!head_ || !bytesCouldHold(stated, head_->head)) { @@ if (!head_) { @@ ^e2e\.hardening$
falling-decode-times-counted @@ src/ffmpeg/timeline/stream_clock.cpp @@ const bool goesBack = packet.dts && lastDecode_ && *packet.dts < *lastDecode_; @@ const bool goesBack = packet.dts && lastDecode_ && false; @@ StreamClock
stated-sample-length-unchecked @@ src/ffmpeg/timeline/sample_index.cpp @@ return stated > 0 && stated <= held + *lastSample ? stated : held; @@ return stated > 0 ? stated : held; @@ ^e2e\.(info|hardening)$
header-without-samples-answered @@ src/ffmpeg/timeline/timeline.cpp @@ if (measured && stated && *stated <= *measured + kHeaderRounding) { @@ if (stated && (!measured || *stated <= *measured + kHeaderRounding)) { @@ ^e2e\.info$
fragments-left-unread @@ src/ffmpeg/timeline/timeline.cpp @@ if (!stated || !indexed.longest || *stated > *indexed.longest + kHeaderRounding) { @@ if ((void)stated, false) { @@ ^e2e\.(info|duration_matrix)$
avi-without-index-by-headers @@ src/ffmpeg/timeline/timeline.cpp @@ if (indexed.samples == 0 && rule_.length == LengthRule::kSampleIndexElseTail) { @@ if (false) { @@ ^e2e\.info$
ogg-padding-taken-twice @@ src/ffmpeg/timeline/container_rules.cpp @@ kTimestamps, kOffDuration} @@ kTimestamps, kInDuration} @@ ^e2e\.duration_matrix$
program-stream-by-library-estimate @@ src/ffmpeg/timeline/container_rules.cpp @@ ContainerRule{"mpeg", kFirstTimestamp, kTimestamps}, @@ ContainerRule{"mpeg", kFirstTimestamp, kLibrary}, @@ ^e2e\.duration_matrix$
lame-padding-heard @@ src/ffmpeg/timeline/timeline.cpp @@ last ? last->padding : 0 @@ last ? last->padding - last->padding : 0 @@ ^e2e\.(info|duration_matrix)$
elementary-audio-by-timestamps @@ src/ffmpeg/timeline/timeline.cpp @@ saturatingSub(span->played, span->padding) @@ saturatingSub(span->end, span->first) @@ ^e2e\.(info|duration_matrix|shared_media)$
reading-stops-at-damage @@ src/ffmpeg/input/demuxer.cpp @@ kMostReadErrorsInARow = 16; @@ kMostReadErrorsInARow = 1; @@ ^e2e\.shared_media$
stray-timestamps-counted @@ src/ffmpeg/timeline/stream_clock.hpp @@ return packets_ <= 2; @@ return packets_ <= 0; @@ StreamClock
priming-within-its-packet @@ src/ffmpeg/timeline/stream_clock.cpp @@ piece_.add(std::max(packet.pts, primedUntil_), packet.pts, packet.duration); @@ piece_.add(saturatingAdd(packet.pts, packet.priming), packet.pts, packet.duration); @@ StreamClock|^e2e\.info$
encryption-type-ignored @@ src/container/matroska_tracks.cpp @@ (field.id == kContentEncodingTypeId && @@ (false && @@ MatroskaTracks
cut-track-entry-taken @@ src/container/matroska_tracks.cpp @@ if (count == kMostElements || !child || (child->sized() && child->end() > end)) { @@ if (count == kMostElements || !child) { @@ MatroskaTracks
stills-track-as-video @@ src/ffmpeg/decode/video_stream.cpp @@ kLeastMovingFrameRate = 4.0; @@ kLeastMovingFrameRate = 0.0; @@ ^e2e\.frame$
corrupt-frame-accepted @@ src/ffmpeg/decode/clean_pictures.cpp @@ if (frame.decode_error_flags != 0) { @@ if (false) { @@ ^e2e\.frame$
encrypted-stream-decoded @@ src/ffmpeg/decode/video_stream.cpp @@ if (lacksCompatibleBaseLayer(stream) || isEncrypted(stream)) { @@ if (lacksCompatibleBaseLayer(stream)) { @@ ^e2e\.frame$
encrypted-stream-decoded @@ src/ffmpeg/decode/frame_search.cpp @@ if (isEncrypted(packet)) { @@ if (false) { @@ ^e2e\.frame$
cropping-not-applied @@ src/ffmpeg/decode/video_stream.cpp @@ if (av_frame_apply_cropping(&frame, AV_FRAME_CROP_UNALIGNED) < 0) { @@ if ((void)frame, false) { @@ ^e2e\.frame$
stream-cap-dropped @@ src/ffmpeg/input/demuxer.cpp @@ av_dict_set_int(&rawOptions, "max_streams", kMostStreams, 0); @@ (void)kMostStreams; @@ ^e2e\.hardening$
probe-max-pixels-dropped @@ src/ffmpeg/input/demuxer.cpp @@ av_dict_set_int(&raw, "max_pixels", kLargestPicturePixels, 0); @@ /* dropped */ @@ ^e2e\.hardening$
decoder-max-pixels-dropped @@ src/ffmpeg/decode/video_stream.cpp @@ context->max_pixels = kLargestPicturePixels; @@ /* dropped */ @@ ^e2e\.hardening$
byte-budget-dropped @@ src/ffmpeg/input/file_io.cpp @@ if (reading.exhausted()) { @@ if (false) { @@ ^e2e\.hardening$
empty-file-read @@ src/ffmpeg/input/file_descriptor.cpp @@ || status.st_size == 0) { @@ ) { @@ ^e2e\.hardening$
numbers-in-the-global-locale @@ src/request/strict_double.cpp @@ strtod_l(terminated.c_str(), &end, cLocale.get()) @@ strtod(terminated.c_str(), &end) @@ CommaDecimalLocale
work-bound-dropped @@ src/process/run.cpp @@ WorkBound::start(mostCpu); @@ (void)mostCpu; @@ RunTool|^e2e\.hardening$
memory-cap-1-gib @@ src/process/memory_limit.hpp @@ kAddressSpaceLimitBytes = std::size_t{512} << 20; @@ kAddressSpaceLimitBytes = std::size_t{1} << 30; @@ ^e2e\.hardening$
thread-arenas @@ src/process/memory_limit.cpp @@ mallopt(M_ARENA_MAX, 1); @@ /* an arena per thread */ @@ ^e2e\.hardening$
decoder-out-of-memory-ignored @@ src/ffmpeg/decode/decode_loop.cpp @@ if (avcodec_send_packet(&decoder, packet) == AVERROR(ENOMEM)) { @@ if (avcodec_send_packet(&decoder, packet) == 1) { @@ ^e2e\.hardening$
decoder-out-of-memory-ignored @@ src/ffmpeg/decode/decode_loop.cpp @@ if (status == AVERROR(ENOMEM)) { @@ if (false) { @@ ^e2e\.hardening$
device-opened-first @@ src/ffmpeg/input/file_descriptor.cpp @@ if (stat(path.c_str(), &named) != 0 || !S_ISREG(named.st_mode)) { @@ if (stat(path.c_str(), &named) != 0) { @@ ^e2e\.hardening$
encryption-without-key-id-decoded @@ src/ffmpeg/decode/encryption.cpp @@ const std::vector<bool> encrypted = matroskaVideoTracksEncrypted(file); @@ const std::vector<bool> encrypted(matroskaVideoTracksEncrypted(file).size(), false); @@ ^e2e\.hardening$
unmarked-pictures-as-recovered @@ src/ffmpeg/decode/clean_pictures.cpp @@ return marksRecovery_ && !corrupt && (!afterDamage_ || markedCorrupt_); @@ return !corrupt && (!afterDamage_ || markedCorrupt_); @@ CleanPictures|^e2e\.hardening$
damage-forgotten @@ src/ffmpeg/decode/clean_pictures.cpp @@ afterDamage_ = true; @@ afterDamage_ = false; @@ CleanPictures
h264-on-frame-threads @@ src/ffmpeg/decode/video_stream.cpp @@ decoder->id == AV_CODEC_ID_H264 || decoder->id == AV_CODEC_ID_MPEG4; @@ false; @@ ^e2e\.hardening$
packet-bytes-unbounded @@ src/ffmpeg/decode/frame_choice.cpp @@ return ++packetsSent_ <= budget_.packets && bytesSent_ <= budget_.packetBytes; @@ return ++packetsSent_ <= budget_.packets; @@ FrameChoice
EOF

full=0
wanted=()
for argument in "$@"; do
  if [ "$argument" = --full ]; then full=1; else wanted+=("$argument"); fi
done

backups=$(mktemp -d)
restore() {
  local saved
  for saved in "$backups"/*; do
    [ -e "$saved" ] || continue
    # A plain copy gives a new mtime, so that make rebuilds.
    cp "$saved" "$(sed 's|%|/|g' <<<"$(basename "$saved")")" && rm "$saved"
  done
}
trap 'restore; rm -rf "$backups"' EXIT
trap 'exit 130' INT TERM

if ! git diff --quiet -- src; then
  echo "src/ has uncommitted changes; commit or stash them first" >&2
  exit 2
fi

# The end-to-end tests run the korvel binary, so only it and the unit tests see a mutant.
build() {
  cmake --build build -j2 --target korvel korvel_unit_tests >/dev/null 2>&1
}

[ -d build ] || cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j2 >/dev/null || exit 2
# Without --full the slow sampling of damaged files and the desktop tests are left out: no
# mutant here depends on them.
skip='^(e2e\.[Dd]amaged.*|desktop\..*|format_check)$'

caught=0
missed=0
# A mutant may take several rows (edits) under one name.
for name in $(awk -F' @@ ' 'NF { print $1 }' <<<"$MUTANTS" | awk '!seen[$0]++'); do
  if [ ${#wanted[@]} -gt 0 ] && [[ ! " ${wanted[*]} " == *" $name "* ]]; then
    continue
  fi
  planted=1
  while IFS= read -r line; do
    file=$(awk -F' @@ ' '{print $2}' <<<"$line")
    filter=$(awk -F' @@ ' '{print $5}' <<<"$line")
    saved="$backups/$(sed 's|/|%|g' <<<"$file")"
    [ -e "$saved" ] || cp "$file" "$saved"
    SEARCH=$(awk -F' @@ ' '{print $3}' <<<"$line") \
      REPLACE=$(awk -F' @@ ' '{print $4}' <<<"$line") /usr/bin/python3 - "$file" <<'PY' || planted=0
import os, sys
path = sys.argv[1]
text = open(path).read()
search, replace = os.environ["SEARCH"], os.environ["REPLACE"]
if text.count(search) != 1:
    sys.exit(f"{path}: the text occurs {text.count(search)} times: {search}")
open(path, "w").write(text.replace(search, replace))
PY
  done < <(grep -F "$name @@ " <<<"$MUTANTS")
  [ "$full" = 1 ] && filter="" && skip="^format_check$"  # a mutant is not formatted
  start=$SECONDS
  failing=""
  if [ "$planted" = 0 ]; then
    verdict="STALE  "  # its text is no longer where the table says
  elif ! build; then
    verdict="NOBUILD"
  elif ctest --test-dir build -j2 --stop-on-failure ${filter:+-R "$filter"} ${skip:+-E "$skip"} \
    >"$backups/ctest.log" 2>&1; then
    verdict="MISSED "
  else
    verdict="caught "
    failing=$(grep -m1 -oE '[0-9]+ - [^ ]+ \(Failed\)' "$backups/ctest.log" | sed 's/ (Failed)//; s/^[0-9]* - //')
  fi
  rm -f "$backups/ctest.log"
  restore
  if [ "$verdict" = "caught " ]; then caught=$((caught + 1)); else missed=$((missed + 1)); fi
  echo "$verdict $name ($((SECONDS - start)) s${failing:+, first failure: $failing})"
done

build
echo "== $caught caught, $missed missed"
[ "$missed" -eq 0 ]
