# Fills a VelmorBlind.plugin folder with everything but the binary (run with cmake -P):
#   -DBUNDLE=dir -DINFO_PLIST=file -DPKGINFO=file -DRSRC=file -DEXECUTABLE=name -DBINARY=ON|OFF
# BINARY=ON: the linker has put Contents/MacOS/<EXECUTABLE> in place (a Mac); it must be there.
# BINARY=OFF: no Mach-O linker here; the binary's folder is made and left empty, and we say so.
foreach(_var BUNDLE INFO_PLIST PKGINFO RSRC EXECUTABLE)
  if(NOT DEFINED ${_var} OR "${${_var}}" STREQUAL "")
    message(FATAL_ERROR "AssembleBundle.cmake: -D${_var}=... is required")
  endif()
endforeach()

file(MAKE_DIRECTORY ${BUNDLE}/Contents/MacOS ${BUNDLE}/Contents/Resources)
file(COPY_FILE ${INFO_PLIST} ${BUNDLE}/Contents/Info.plist ONLY_IF_DIFFERENT)
file(COPY_FILE ${PKGINFO} ${BUNDLE}/Contents/PkgInfo ONLY_IF_DIFFERENT)
file(COPY_FILE ${RSRC} ${BUNDLE}/Contents/Resources/${EXECUTABLE}.rsrc ONLY_IF_DIFFERENT)

set(_binary ${BUNDLE}/Contents/MacOS/${EXECUTABLE})
if(BINARY)
  if(NOT EXISTS ${_binary})
    message(FATAL_ERROR "${_binary} is missing after the link")
  endif()
else()
  message(STATUS "${BUNDLE}: Contents/MacOS/${EXECUTABLE} is left empty; the Mach-O binary "
    "needs Apple's SDK and is built only on a Mac (cmake --preset macos)")
endif()
