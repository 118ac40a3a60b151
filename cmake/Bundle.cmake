# The macOS deliverable: the bundle VelmorBlind.plugin.
#
#   VelmorBlind.plugin/Contents/Info.plist                 identity, package type and version
#   VelmorBlind.plugin/Contents/PkgInfo                    "eFKTFXTC": package type and signature
#   VelmorBlind.plugin/Contents/Resources/VelmorBlind.rsrc the property list, resource 'PiPL' 16000
#   VelmorBlind.plugin/Contents/MacOS/VelmorBlind          the Mach-O binary (on a Mac only)
#
# Everything but the binary is made from the same sources on every platform but Windows, so the
# layout is built and tested where no Apple SDK exists. On a Mac the module target itself is the
# bundle and the same script fills it after each link; elsewhere the target VelmorBlind_bundle
# assembles the folder in the output directory, leaves the binary's place empty and says so.
# Needs VELMOR_PIPL_RSRC (cmake/Pipl.cmake) and the VelmorPiPL.h values it read.

if(WIN32)
  return()
endif()

set(VELMOR_BUNDLE_IDENTIFIER "com.tavelinor.VelmorBlind")
set(VELMOR_BUNDLE_PACKAGE_TYPE "eFKT")
set(VELMOR_BUNDLE_SIGNATURE "FXTC")
set(VELMOR_BUNDLE_VERSION
  "${VELMOR_PIPL_VERSION_MAJOR}.${VELMOR_PIPL_VERSION_MINOR}.${VELMOR_PIPL_VERSION_BUG}")

set(_bundle_gen ${CMAKE_BINARY_DIR}/generated/macos)
set(VELMOR_BUNDLE_INFO_PLIST ${_bundle_gen}/Info.plist)
set(VELMOR_BUNDLE_PKGINFO ${_bundle_gen}/PkgInfo)
file(CONFIGURE OUTPUT ${VELMOR_BUNDLE_INFO_PLIST} @ONLY CONTENT [[
<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
	<key>CFBundleDevelopmentRegion</key>
	<string>en</string>
	<key>CFBundleExecutable</key>
	<string>@VELMOR_PIPL_NAME@</string>
	<key>CFBundleIdentifier</key>
	<string>@VELMOR_BUNDLE_IDENTIFIER@</string>
	<key>CFBundleInfoDictionaryVersion</key>
	<string>6.0</string>
	<key>CFBundleName</key>
	<string>@VELMOR_PIPL_NAME@</string>
	<key>CFBundlePackageType</key>
	<string>@VELMOR_BUNDLE_PACKAGE_TYPE@</string>
	<key>CFBundleSignature</key>
	<string>@VELMOR_BUNDLE_SIGNATURE@</string>
	<key>CFBundleShortVersionString</key>
	<string>@VELMOR_BUNDLE_VERSION@</string>
	<key>CFBundleVersion</key>
	<string>@VELMOR_BUNDLE_VERSION@</string>
</dict>
</plist>
]])
# Eight bytes, no line end.
file(CONFIGURE OUTPUT ${VELMOR_BUNDLE_PKGINFO} @ONLY
  CONTENT "@VELMOR_BUNDLE_PACKAGE_TYPE@@VELMOR_BUNDLE_SIGNATURE@")

set(_assemble ${CMAKE_COMMAND} -DINFO_PLIST=${VELMOR_BUNDLE_INFO_PLIST}
  -DPKGINFO=${VELMOR_BUNDLE_PKGINFO} -DRSRC=${VELMOR_PIPL_RSRC}
  -DEXECUTABLE=${VELMOR_PIPL_NAME})

if(APPLE)
  # The module as a loadable bundle: Contents/MacOS/VelmorBlind, exporting _EntryPointFunc alone
  # (the exported-symbols list; hidden visibility already keeps our own symbols in). The C++
  # runtime is the system's libc++, linked dynamically as every macOS binary links it.
  set(VELMOR_MODULE_EXPORTS ${_bundle_gen}/VelmorBlind.exp)
  file(CONFIGURE OUTPUT ${VELMOR_MODULE_EXPORTS} CONTENT "_EntryPointFunc\n")
  set_target_properties(VelmorBlind PROPERTIES
    BUNDLE TRUE
    BUNDLE_EXTENSION plugin
    MACOSX_BUNDLE_INFO_PLIST ${VELMOR_BUNDLE_INFO_PLIST})
  target_link_options(VelmorBlind PRIVATE "LINKER:-exported_symbols_list,${VELMOR_MODULE_EXPORTS}")
  set_property(TARGET VelmorBlind APPEND PROPERTY LINK_DEPENDS ${VELMOR_MODULE_EXPORTS})
  add_custom_command(TARGET VelmorBlind POST_BUILD
    COMMAND ${_assemble} -DBUNDLE=$<TARGET_BUNDLE_DIR:VelmorBlind> -DBINARY=ON
      -P ${CMAKE_SOURCE_DIR}/cmake/AssembleBundle.cmake
    VERBATIM)
else()
  set(VELMOR_BUNDLE_DIR ${CMAKE_LIBRARY_OUTPUT_DIRECTORY}/VelmorBlind.plugin)
  add_custom_target(VelmorBlind_bundle ALL
    COMMAND ${_assemble} -DBUNDLE=${VELMOR_BUNDLE_DIR} -DBINARY=OFF
      -P ${CMAKE_SOURCE_DIR}/cmake/AssembleBundle.cmake
    DEPENDS ${VELMOR_BUNDLE_INFO_PLIST} ${VELMOR_BUNDLE_PKGINFO} ${VELMOR_PIPL_RSRC}
      ${CMAKE_SOURCE_DIR}/cmake/AssembleBundle.cmake
    COMMENT "Assembling VelmorBlind.plugin (all but its binary)"
    VERBATIM)
endif()
