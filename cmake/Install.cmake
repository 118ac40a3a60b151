# Where `cmake --install` puts things, and the Debian package `cpack -G DEB` makes of them.
#
#   bin/velmorblind                    -> ../lib/velmorblind/velmorblind (a relative link)
#   lib/velmorblind/velmorblind        the renderer, which finds the module beside itself
#   lib/velmorblind/VelmorBlind.so     the effect module
#   lib/frei0r-1/velmorblind.so        the frei0r transition (MLT and GStreamer look there)
#   share/kdenlive/transitions/        Kdenlive's description of the transition
#   share/doc/velmorblind/README.md
set(VELMOR_PRIVATE_LIB_DIR lib/velmorblind)

if(TARGET velmorblind)
  install(TARGETS velmorblind RUNTIME DESTINATION ${VELMOR_PRIVATE_LIB_DIR})
  # The renderer resolves its own path through the link, so the module beside it is found.
  set(VELMOR_BIN_LINK ${CMAKE_BINARY_DIR}/install-links/velmorblind)
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/install-links)
  file(CREATE_LINK ../${VELMOR_PRIVATE_LIB_DIR}/velmorblind ${VELMOR_BIN_LINK} SYMBOLIC)
  install(FILES ${VELMOR_BIN_LINK} DESTINATION bin)
endif()
install(TARGETS VelmorBlind LIBRARY DESTINATION ${VELMOR_PRIVATE_LIB_DIR})
if(TARGET velmorblind_frei0r)
  install(TARGETS velmorblind_frei0r LIBRARY DESTINATION lib/frei0r-1)
  install(FILES ${CMAKE_SOURCE_DIR}/adapters/frei0r/kdenlive/frei0r_velmorblind.xml
    DESTINATION share/kdenlive/transitions)
endif()
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION share/doc/velmorblind)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmorblind)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Tavelinor")
set(CPACK_PACKAGE_CONTACT "VelmorBlind developers <velmorblind@tavelinor.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Blinds transition for images and video: renderer, effect module, frei0r plug-in")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Bands at any angle close one after another, staggered, eased and anti-aliased, turning one\n\
picture into another. Contains the velmorblind command-line renderer with its effect module, and\n\
the same transition as a frei0r mixer2 plug-in for MLT (melt, Kdenlive) and GStreamer, with a\n\
Kdenlive transition description.")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Depends: the shared libraries the binaries link, as dpkg-shlibdeps finds them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "melt, kdenlive, gstreamer1.0-plugins-bad, gstreamer1.0-tools")
include(CPack)
