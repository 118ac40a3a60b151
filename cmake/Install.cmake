# Where `cmake --install` puts things, and the Debian package `cpack -G DEB` makes of them.
#
#   bin/velmorblind                    -> ../lib/velmorblind/velmorblind (a relative link)
#   lib/velmorblind/velmorblind        the renderer, which finds the module beside itself
#   lib/velmorblind/VelmorBlind.so     the effect module
#   lib/frei0r-1/velmorblind.so        the frei0r transition (MLT and GStreamer look there)
#   share/kdenlive/transitions/        Kdenlive's description of the transition
#   share/doc/velmorblind/            README.md, copyright, changelog.gz
#   share/man/man1/velmorblind.1.gz    the manual page, made from `velmorblind --help`
set(VELMOR_PRIVATE_LIB_DIR lib/velmorblind)
set(VELMOR_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)
set(VELMOR_PACKAGING_BUILD_DIR ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${VELMOR_PACKAGING_BUILD_DIR})
find_program(VELMOR_GZIP gzip)
find_program(VELMOR_HELP2MAN help2man)

if(TARGET velmorblind)
  install(TARGETS velmorblind RUNTIME DESTINATION ${VELMOR_PRIVATE_LIB_DIR})
  # The renderer resolves its own path through the link, so the module beside it is found.
  set(VELMOR_BIN_LINK ${CMAKE_BINARY_DIR}/install-links/velmorblind)
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/install-links)
  file(CREATE_LINK ../${VELMOR_PRIVATE_LIB_DIR}/velmorblind ${VELMOR_BIN_LINK} SYMBOLIC)
  install(FILES ${VELMOR_BIN_LINK} DESTINATION bin)
  # The manual page is the program's own --help, so that the two never disagree.
  if(VELMOR_HELP2MAN AND VELMOR_GZIP)
    set(VELMOR_MAN_PAGE ${VELMOR_PACKAGING_BUILD_DIR}/velmorblind.1)
    add_custom_command(OUTPUT ${VELMOR_MAN_PAGE}.gz
      COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:velmorblind> -DVERSION=${PROJECT_VERSION}
              -DINCLUDE=${VELMOR_PACKAGING_DIR}/velmorblind.h2m -DOUTPUT=${VELMOR_MAN_PAGE}
              -DHELP2MAN=${VELMOR_HELP2MAN} -DGZIP=${VELMOR_GZIP} -P ${VELMOR_PACKAGING_DIR}/ManPage.cmake
      DEPENDS velmorblind VelmorBlind ${VELMOR_PACKAGING_DIR}/velmorblind.h2m ${VELMOR_PACKAGING_DIR}/ManPage.cmake
      COMMENT "Writing the manual page of velmorblind")
    add_custom_target(velmorblind_man ALL DEPENDS ${VELMOR_MAN_PAGE}.gz)
    install(FILES ${VELMOR_MAN_PAGE}.gz DESTINATION share/man/man1)
  else()
    message(WARNING "help2man or gzip is missing: the package will have no manual page (install help2man).")
  endif()
endif()
install(TARGETS VelmorBlind LIBRARY DESTINATION ${VELMOR_PRIVATE_LIB_DIR})
if(TARGET velmorblind_frei0r)
  install(TARGETS velmorblind_frei0r LIBRARY DESTINATION lib/frei0r-1)
  install(FILES ${CMAKE_SOURCE_DIR}/adapters/frei0r/kdenlive/frei0r_velmorblind.xml
    DESTINATION share/kdenlive/transitions)
endif()
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${VELMOR_PACKAGING_DIR}/copyright DESTINATION share/doc/velmorblind)

# The changelog's newest entry names this version: a version bump without an entry stops here.
file(STRINGS ${VELMOR_PACKAGING_DIR}/changelog VELMOR_CHANGELOG_TOP LIMIT_COUNT 1)
if(NOT VELMOR_CHANGELOG_TOP MATCHES "^velmorblind \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/changelog starts with \"${VELMOR_CHANGELOG_TOP}\", not an entry for "
                      "version ${PROJECT_VERSION}: add one.")
endif()
if(VELMOR_GZIP)
  # gzip -n: no name or time stamp inside, as Debian's tools compress.
  configure_file(${VELMOR_PACKAGING_DIR}/changelog ${VELMOR_PACKAGING_BUILD_DIR}/changelog COPYONLY)
  execute_process(COMMAND ${VELMOR_GZIP} -9nf ${VELMOR_PACKAGING_BUILD_DIR}/changelog)
  install(FILES ${VELMOR_PACKAGING_BUILD_DIR}/changelog.gz DESTINATION share/doc/velmorblind)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmorblind)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Tavelinor")
set(CPACK_PACKAGE_CONTACT "VelmorBlind developers <velmorblind@tavelinor.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Blinds transition for images and video: renderer, effect module, frei0r plug-in")
# The long description: lines within 80 characters, as Debian's tools show them.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Bands at any angle close one after another, staggered, eased and\n\
anti-aliased, turning one picture into another. Contains the velmorblind\n\
command-line renderer with its effect module, and the same transition as a\n\
frei0r mixer2 plug-in for MLT (melt, Kdenlive) and GStreamer, with its\n\
Kdenlive composition description.")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Depends: the shared libraries the binaries link, as dpkg-shlibdeps finds them (worked out here
# rather than by CPack, which would add needless ldconfig calls: see the script).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
set(CPACK_PRE_BUILD_SCRIPTS ${VELMOR_PACKAGING_DIR}/ShlibDepends.cmake)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "melt, kdenlive, gstreamer1.0-plugins-bad, gstreamer1.0-tools")
include(CPack)
