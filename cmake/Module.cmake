# The effect module: its own code as a static library (linked by the module and by unit tests), and
# the loadable module that exports EntryPointFunc alone.
file(GLOB VELMOR_PLUGIN_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/Util/*.cpp
  ${CMAKE_SOURCE_DIR}/Velmor/*.cpp
  ${CMAKE_SOURCE_DIR}/Velmor/Filter/*.cpp
  ${CMAKE_SOURCE_DIR}/VelmorPlugin.cpp
  ${CMAKE_SOURCE_DIR}/VelmorSmartRender.cpp)

add_library(velmor_plugin STATIC ${VELMOR_PLUGIN_SOURCES})
target_include_directories(velmor_plugin PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/Util
  ${CMAKE_SOURCE_DIR}/Velmor ${CMAKE_SOURCE_DIR}/Velmor/Filter)
target_link_libraries(velmor_plugin PUBLIC host_api)
set_target_properties(velmor_plugin PROPERTIES CXX_VISIBILITY_PRESET hidden
  VISIBILITY_INLINES_HIDDEN ON)

# The property list, generated from VelmorPiPL.h (sets VELMOR_PIPL_SOURCE and VELMOR_PIPL_RC).
include(${CMAKE_SOURCE_DIR}/cmake/Pipl.cmake)

# The loadable module. Nothing in it refers to EntryPointFunc, so the whole of velmor_plugin is
# linked in rather than only the objects something asks for.
add_library(VelmorBlind MODULE)
target_link_libraries(VelmorBlind PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,velmor_plugin>")
set_target_properties(VelmorBlind PROPERTIES
  OUTPUT_NAME VelmorBlind
  PREFIX ""
  LINKER_LANGUAGE CXX
  C_VISIBILITY_PRESET hidden
  CXX_VISIBILITY_PRESET hidden
  VISIBILITY_INLINES_HIDDEN ON)

if(WIN32)
  set_target_properties(VelmorBlind PROPERTIES SUFFIX ".aex")
  # The property list as the resource a host looks for: type "PIPL", id 16000, language 1033,
  # compiled by windres from the generated script.
  enable_language(RC)
  target_sources(VelmorBlind PRIVATE ${VELMOR_PIPL_RC})
  # The export table names EntryPointFunc alone, undecorated: with a definitions file the linker
  # exports only what the file lists.
  set(VELMOR_MODULE_DEF ${CMAKE_BINARY_DIR}/generated/VelmorBlind.def)
  file(CONFIGURE OUTPUT ${VELMOR_MODULE_DEF}
    CONTENT "LIBRARY \"VelmorBlind.aex\"\nEXPORTS\n    EntryPointFunc\n")
  target_sources(VelmorBlind PRIVATE ${VELMOR_MODULE_DEF})
  if(MINGW)
    # The module must load on a machine that has only the system DLLs: the C++ runtime, libgcc
    # and winpthread are linked in, and none of their symbols is exported.
    target_link_options(VelmorBlind PRIVATE -static -static-libgcc -static-libstdc++
      "LINKER:--exclude-all-symbols")
  endif()
elseif(APPLE)
  # A loadable bundle with the property list as a resource file: cmake/Bundle.cmake.
else()
  set_target_properties(VelmorBlind PROPERTIES SUFFIX ".so")
  # The ELF section ".pipl" that the host reads from the file.
  target_sources(VelmorBlind PRIVATE ${VELMOR_PIPL_SOURCE})
  # Hidden visibility already keeps our own symbols in; the version script also keeps in whatever
  # static code (runtime helpers, template instances) would otherwise leak into the dynamic table.
  set(VELMOR_MODULE_VERSION_SCRIPT ${CMAKE_BINARY_DIR}/generated/VelmorBlind.map)
  file(CONFIGURE OUTPUT ${VELMOR_MODULE_VERSION_SCRIPT}
    CONTENT "{\n  global: EntryPointFunc;\n  local: *;\n};\n")
  target_link_options(VelmorBlind PRIVATE "LINKER:--version-script=${VELMOR_MODULE_VERSION_SCRIPT}")
  set_property(TARGET VelmorBlind APPEND PROPERTY LINK_DEPENDS ${VELMOR_MODULE_VERSION_SCRIPT})
endif()

# The macOS bundle VelmorBlind.plugin (on other systems but Windows, everything but its binary).
include(${CMAKE_SOURCE_DIR}/cmake/Bundle.cmake)
