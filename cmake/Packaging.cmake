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
install(FILES ${_changelog} ${PROJECT_SOURCE_DIR}/packaging/copyright
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
