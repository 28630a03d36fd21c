# What a Linux desktop meets: the thumbnailer wrapper and its entry, and the manual pages.
# The entry names the MIME types of the accepted containers that hold video.
list(JOIN KORVEL_VIDEO_MIME_TYPES ";" KORVEL_THUMBNAILER_MIME_TYPES)
string(APPEND KORVEL_THUMBNAILER_MIME_TYPES ";")
list(JOIN KORVEL_VIDEO_MIME_TYPES ", " KORVEL_THUMBNAILER_MIME_LIST)
configure_file(desktop/korvel.thumbnailer.in korvel.thumbnailer @ONLY)

# The wrapper finds its helper relative to itself, so an installed tree can move.
set(KORVEL_HELPERS_DIR ${CMAKE_INSTALL_LIBEXECDIR}/korvel)
file(RELATIVE_PATH KORVEL_HELPERS_FROM_BIN ${CMAKE_INSTALL_FULL_BINDIR}
     ${CMAKE_INSTALL_PREFIX}/${KORVEL_HELPERS_DIR})
configure_file(desktop/korvel-thumbnailer.in korvel-thumbnailer @ONLY)
install(PROGRAMS ${CMAKE_CURRENT_BINARY_DIR}/korvel-thumbnailer DESTINATION ${CMAKE_INSTALL_BINDIR})
# korvel-thumbnailer --enable and --disable link the entry installed beside it.
file(RELATIVE_PATH KORVEL_DATA_FROM_HELPERS ${CMAKE_INSTALL_PREFIX}/${KORVEL_HELPERS_DIR}
     ${CMAKE_INSTALL_FULL_DATADIR})
configure_file(desktop/user-thumbnailer.in user-thumbnailer @ONLY)
install(PROGRAMS ${CMAKE_CURRENT_BINARY_DIR}/user-thumbnailer DESTINATION ${KORVEL_HELPERS_DIR})

add_executable(jpeg-to-png desktop/jpeg_to_png.cpp)
target_link_libraries(jpeg-to-png PRIVATE PkgConfig::TURBOJPEG PkgConfig::PNG)
install(TARGETS jpeg-to-png RUNTIME DESTINATION ${KORVEL_HELPERS_DIR})
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/korvel.thumbnailer
        DESTINATION ${CMAKE_INSTALL_DATADIR}/thumbnailers)

find_program(SCDOC scdoc)
if(NOT SCDOC)
  message(FATAL_ERROR "scdoc makes the manual pages: apt-get install scdoc")
endif()
configure_file(man/korvel-thumbnailer.1.scd.in man/korvel-thumbnailer.1.scd @ONLY)
# The pages are dated by the source, not the build, so that two builds of one commit give the
# same bytes: SOURCE_DATE_EPOCH where the builder sets it, else the packaging changelog's
# latest entry.
set(KORVEL_SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
if(NOT KORVEL_SOURCE_DATE_EPOCH)
  execute_process(
    COMMAND dpkg-parsechangelog -l ${PROJECT_SOURCE_DIR}/packaging/changelog -S Timestamp
    OUTPUT_VARIABLE KORVEL_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE
    COMMAND_ERROR_IS_FATAL ANY)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
               ${PROJECT_SOURCE_DIR}/packaging/changelog)
endif()
set(KORVEL_MAN_PAGES)
foreach(_source IN ITEMS ${PROJECT_SOURCE_DIR}/man/korvel.1.scd
                         ${CMAKE_CURRENT_BINARY_DIR}/man/korvel-thumbnailer.1.scd)
  get_filename_component(_page ${_source} NAME_WLE)
  set(_output ${CMAKE_CURRENT_BINARY_DIR}/man/${_page}.gz)
  # Compressed without a name or time stamp, as Debian installs manual pages.
  add_custom_command(OUTPUT ${_output}
    COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${KORVEL_SOURCE_DATE_EPOCH}
            sh -c "\"$1\" < \"$2\" > \"$3\" && gzip -9nf \"$3\"" sh ${SCDOC} ${_source}
            ${CMAKE_CURRENT_BINARY_DIR}/man/${_page}
    DEPENDS ${_source} ${PROJECT_SOURCE_DIR}/packaging/changelog VERBATIM)
  list(APPEND KORVEL_MAN_PAGES ${_output})
endforeach()
add_custom_target(man_pages ALL DEPENDS ${KORVEL_MAN_PAGES})
install(FILES ${KORVEL_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
