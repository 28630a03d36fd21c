# Reads src/ffmpeg/input/accepted_media.txt into lists:
#   KORVEL_DEMUXERS        FFmpeg demuxers of the accepted containers
#   KORVEL_VIDEO_CODECS    FFmpeg codec names of the accepted video codecs
#   KORVEL_VIDEO_DECODERS  the FFmpeg decoders for them
#   KORVEL_VIDEO_MIME_TYPES  MIME types of the containers that hold video
# and what the bundled FFmpeg needs beyond them (scripts/build-ffmpeg.sh reads the same file):
#   KORVEL_PROBE_DEMUXERS  raw-stream demuxers MPEG-TS/PS probe unlabelled streams against
#   KORVEL_AUDIO_DECODERS  audio decoders that stream probing needs
#   KORVEL_PARSERS         parsers
#   KORVEL_BSFS            bitstream filters
set(KORVEL_ACCEPTED_MEDIA ${PROJECT_SOURCE_DIR}/src/ffmpeg/input/accepted_media.txt)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${KORVEL_ACCEPTED_MEDIA})

set(KORVEL_DEMUXERS)
set(KORVEL_VIDEO_CODECS)
set(KORVEL_VIDEO_DECODERS)
set(KORVEL_VIDEO_MIME_TYPES)
set(KORVEL_PROBE_DEMUXERS)
set(KORVEL_AUDIO_DECODERS)
set(KORVEL_PARSERS)
set(KORVEL_BSFS)
file(STRINGS ${KORVEL_ACCEPTED_MEDIA} _lines REGEX "^[a-z]")
foreach(_line IN LISTS _lines)
  string(REGEX REPLACE "[ \t]+" ";" _fields "${_line}")
  list(POP_FRONT _fields _kind _name)
  list(LENGTH _fields _count)
  if(_kind STREQUAL "container")
    list(APPEND KORVEL_DEMUXERS ${_name})
    list(APPEND KORVEL_VIDEO_MIME_TYPES ${_fields})
  elseif(_kind STREQUAL "video")
    if(NOT _count EQUAL 1)
      message(FATAL_ERROR "accepted_media.txt: '${_line}' needs a codec and a decoder")
    endif()
    list(APPEND KORVEL_VIDEO_CODECS ${_name})
    list(APPEND KORVEL_VIDEO_DECODERS ${_fields})
  elseif(_kind MATCHES "^(probe|audio|parser|bsf)$")
    if(NOT _count EQUAL 0)
      message(FATAL_ERROR "accepted_media.txt: '${_line}' names one component")
    endif()
    set(_list_of_probe KORVEL_PROBE_DEMUXERS)
    set(_list_of_audio KORVEL_AUDIO_DECODERS)
    set(_list_of_parser KORVEL_PARSERS)
    set(_list_of_bsf KORVEL_BSFS)
    list(APPEND ${_list_of_${_kind}} ${_name})
  else()
    message(FATAL_ERROR "accepted_media.txt: unknown kind '${_kind}'")
  endif()
endforeach()
