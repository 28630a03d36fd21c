#include "ffmpeg/input/charset_modules.hpp"

#include <array>
#include <span>
#include <string_view>

#include "ffmpeg/input/av_owners.hpp"

namespace korvel {
#ifndef KORVEL_FFMPEG_WITHOUT_ICONV
namespace {

// Every character set FFmpeg 5.1's MPEG-TS demuxer converts service and provider names from.
constexpr std::array kTransportStreamCharsets = {
    "ISO6937",     "ISO-8859-1",  "ISO-8859-2",  "ISO-8859-3",  "ISO-8859-4",
    "ISO-8859-5",  "ISO-8859-6",  "ISO-8859-7",  "ISO-8859-8",  "ISO-8859-9",
    "ISO-8859-10", "ISO-8859-11", "ISO-8859-13", "ISO-8859-14", "ISO-8859-15",
    "UCS-2BE",     "KSC_5601",    "GB2312",      "UTF-8",
};

// Enough packets for the probe to recognise the stream (it wants ten at least).
constexpr std::size_t kProbeBytes = 64 * 188;

bool looksLikeTransportStream(ByteSource& file) {
  std::array<std::uint8_t, kProbeBytes + AVPROBE_PADDING_SIZE> buffer{};
  const std::size_t got = file.readAt(0, std::span(buffer).first(kProbeBytes));
  if (got == 0) {
    return false;
  }
  AVProbeData probe{};
  probe.filename = "";
  probe.buf = buffer.data();
  probe.buf_size = static_cast<int>(got);
  const AVInputFormat* format = av_probe_input_format(&probe, 1);
  return format != nullptr && std::string_view(format->name) == "mpegts";
}

}  // namespace
#endif

CharsetModules CharsetModules::forTransportStream(ByteSource& file) {
  CharsetModules modules;
#ifdef KORVEL_FFMPEG_WITHOUT_ICONV
  (void)file;
  return modules;
#else
  if (!looksLikeTransportStream(file)) {
    return modules;
  }
  for (const char* charset : kTransportStreamCharsets) {
    const iconv_t conversion = iconv_open("UTF-8", charset);
    if (conversion != reinterpret_cast<iconv_t>(-1)) {
      modules.conversions_.emplace_back(conversion);
    }
  }
  return modules;
#endif
}

}  // namespace korvel
