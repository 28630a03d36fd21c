# `cpack -G DEB` makes korvel_<version>_<arch>.deb from what `cmake --install` puts in place.

# The package's changelog names the version it describes; a release bumps both together.
file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/changelog _top LIMIT_COUNT 1)
if(NOT _top MATCHES "^korvel \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/changelog starts with '${_top}', not version ${PROJECT_VERSION}")
endif()
file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/packaging)
set(_changelog ${CMAKE_CURRENT_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(OUTPUT ${_changelog}
  COMMAND sh -c "gzip -9nc \"$1\" > \"$2\"" sh ${PROJECT_SOURCE_DIR}/packaging/changelog
          ${_changelog}
  DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog VERBATIM)
add_custom_target(package_changelog ALL DEPENDS ${_changelog})

# The copyright file names what korvel contains besides its own code. The bundled FFmpeg's
# copyright notice and licence, from the Debian source it was built from, are installed beside
# it (scripts/build-ffmpeg.sh puts them in the prefix).
if(KORVEL_FFMPEG STREQUAL "bundled")
  set(_notices ${KORVEL_FFMPEG_PREFIX}/share/doc/ffmpeg)
  file(STRINGS ${_notices}/debian-source-version _ffmpeg_source_version)
  install(FILES ${_notices}/copyright ${_notices}/COPYING.LGPLv2.1
          DESTINATION ${CMAKE_INSTALL_DOCDIR}/ffmpeg)
  set(KORVEL_LIBRARIES_NOTICE
      "korvel contains FFmpeg, built from Debian's ffmpeg source package, version
${_ffmpeg_source_version}, with none of FFmpeg's GPL or non-free parts: that FFmpeg is free
software under the GNU Lesser General Public License, version 2.1 or later. FFmpeg's copyright
notice, the source package's debian/copyright, is ffmpeg/copyright beside this file, and the
licence's text is ffmpeg/COPYING.LGPLv2.1 (on Debian also
/usr/share/common-licenses/LGPL-2.1). The source built in is that source package
(apt-get source ffmpeg=${_ffmpeg_source_version}); korvel's source, through
scripts/build-ffmpeg.sh, links korvel against a changed one.

korvel and its helper link libjpeg-turbo, libpng, zimg, dav1d and zlib as shared libraries;
their copyright files are installed with their own packages under /usr/share/doc.")
else()
  set(KORVEL_LIBRARIES_NOTICE
      "korvel and its helper link FFmpeg's libraries, libjpeg-turbo, libpng and zimg as shared
libraries; their copyright files are installed with their own packages under /usr/share/doc.")
endif()
configure_file(packaging/copyright.in packaging/copyright @ONLY)
install(FILES ${_changelog} ${CMAKE_CURRENT_BINARY_DIR}/packaging/copyright
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

# Stripped as Debian strips its programs: without the compilers' notes in .comment either.
foreach(_program IN ITEMS ${CMAKE_INSTALL_BINDIR}/korvel ${KORVEL_HELPERS_DIR}/jpeg-to-png)
  install(CODE "execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment
    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${_program}\" COMMAND_ERROR_IS_FATAL ANY)")
endforeach()

# What lintian notes and is not a fault, each with its reason; the bundled FFmpeg adds its own.
file(READ ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides _overrides)
if(KORVEL_FFMPEG STREQUAL "bundled")
  file(READ ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides.bundled _bundled)
  string(APPEND _overrides "${_bundled}")
endif()
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/packaging/lintian-overrides "${_overrides}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides
             ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides.bundled)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/packaging/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME korvel)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_CONTACT "korvel developers <developers@korvel.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "how long a video is and what it looks like, for callers")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "korvel answers one request about one local video file per run: its duration
in milliseconds, or a JPEG of the picture at a fraction of its length, upright
and tone-mapped to SDR. Files are untrusted: korvel opens only the file named.
.
The package also makes korvel the desktop's video thumbnailer.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries korvel links are worked out from the binary, not listed by hand.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
