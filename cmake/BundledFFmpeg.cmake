# The bundled FFmpeg: scripts/build-ffmpeg.sh builds (or finds already built) a minimal static
# FFmpeg from Debian's source package, and pkg-config is pointed at its prefix.
set(KORVEL_FFMPEG_CACHE ${PROJECT_SOURCE_DIR}/build-ffmpeg
    CACHE PATH "Where the bundled FFmpeg's source and builds are kept, shared by build folders")

set(_ffmpeg_options)
if(KORVEL_FUZZ)
  # The same instrumentation as korvel's own code, so coverage and the sanitizers reach the
  # demuxers and decoders. FFmpeg reads unaligned words on purpose where the CPU allows it and
  # passes null with length 0 to memcpy; its undefined-behaviour checks are those FFmpeg's own
  # continuous fuzzing uses, without alignment, pointer-overflow, nonnull-attribute and
  # float-cast-overflow.
  string(REPLACE "clang++" "clang" _ffmpeg_cc "${CMAKE_CXX_COMPILER}")
  set(_ffmpeg_ubsan array-bounds,bool,builtin,enum,float-divide-by-zero,integer-divide-by-zero)
  string(APPEND _ffmpeg_ubsan ",null,object-size,return,returns-nonnull-attribute,shift")
  string(APPEND _ffmpeg_ubsan ",signed-integer-overflow,unreachable,vla-bound")
  list(APPEND _ffmpeg_options --cc=${_ffmpeg_cc}
       "--extra-cflags=-fsanitize=fuzzer-no-link,address,${_ffmpeg_ubsan} -fno-sanitize-recover=all -fno-omit-frame-pointer"
       "--extra-ldflags=-fsanitize=address,undefined")
endif()
# A sanitized build links the plain FFmpeg: its sanitizers watch korvel's own code, and the
# fuzz build covers FFmpeg's.

message(STATUS "Bundled FFmpeg: scripts/build-ffmpeg.sh (the first time takes some minutes)")
execute_process(
  COMMAND ${PROJECT_SOURCE_DIR}/scripts/build-ffmpeg.sh ${KORVEL_FFMPEG_CACHE} ${_ffmpeg_options}
  OUTPUT_VARIABLE KORVEL_FFMPEG_PREFIX OUTPUT_STRIP_TRAILING_WHITESPACE
  RESULT_VARIABLE _ffmpeg_status)
if(NOT _ffmpeg_status EQUAL 0)
  message(FATAL_ERROR "scripts/build-ffmpeg.sh failed")
endif()
message(STATUS "Bundled FFmpeg: ${KORVEL_FFMPEG_PREFIX}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${PROJECT_SOURCE_DIR}/scripts/build-ffmpeg.sh)
set(ENV{PKG_CONFIG_PATH} "${KORVEL_FFMPEG_PREFIX}/lib/pkgconfig")
# Keeps libavutil's version string in the binary: `strings korvel | grep '^FFmpeg version'`.
add_link_options(-Wl,--undefined=av_util_ffversion)
