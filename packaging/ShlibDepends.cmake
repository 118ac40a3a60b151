# CPack runs this after staging the package's files: Depends is what dpkg-shlibdeps finds for the
# ELF files staged. CPack's own CPACK_DEBIAN_PACKAGE_SHLIBDEPS would do the same but also add
# ldconfig calls to postinst and postrm for every shared object under /usr/lib/*, and ours are
# plug-ins loaded by path (frei0r-1/, velmorblind/), not libraries in the linker's path.
find_program(VELMOR_DPKG_SHLIBDEPS dpkg-shlibdeps)
find_program(VELMOR_FILE file)
if(NOT VELMOR_DPKG_SHLIBDEPS OR NOT VELMOR_FILE)
  message(FATAL_ERROR "dpkg-shlibdeps or file is missing (Debian packages dpkg-dev, file): "
                      "the package's Depends cannot be worked out.")
endif()
file(GLOB_RECURSE staged LIST_DIRECTORIES false "${CPACK_TEMPORARY_DIRECTORY}/*")
set(elf_files "")
foreach(f IN LISTS staged)
  if(IS_SYMLINK "${f}")
    continue()
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C ${VELMOR_FILE} -b "${f}" OUTPUT_VARIABLE kind)
  if(kind MATCHES "^ELF .*dynamically linked")
    list(APPEND elf_files "${f}")
  endif()
endforeach()
if(NOT elf_files)
  message(FATAL_ERROR "No ELF files in ${CPACK_TEMPORARY_DIRECTORY}: nothing to work Depends out from.")
endif()
# dpkg-shlibdeps reads debian/control in its working folder.
set(work "${CPACK_TOPLEVEL_DIRECTORY}/shlibdeps")
file(MAKE_DIRECTORY "${work}/debian")
file(WRITE "${work}/debian/control" "Source: velmorblind\n\nPackage: velmorblind\nArchitecture: any\n")
execute_process(COMMAND ${VELMOR_DPKG_SHLIBDEPS} -O ${elf_files} WORKING_DIRECTORY "${work}"
                OUTPUT_VARIABLE shlibdeps ERROR_VARIABLE errors RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR NOT shlibdeps MATCHES "shlibs:Depends=([^\n]*)")
  message(FATAL_ERROR "dpkg-shlibdeps failed: ${errors}")
endif()
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${CMAKE_MATCH_1}")
message(STATUS "Depends: ${CPACK_DEBIAN_PACKAGE_DEPENDS}")
