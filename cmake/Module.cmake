# The effect module: its own code as a static library (linked by the module and by unit tests), and
# the loadable module that exports EntryPointFunc alone.
file(GLOB VELMOR_PLUGIN_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/Util/*.cpp
  ${CMAKE_SOURCE_DIR}/Velmor/*.cpp
  ${CMAKE_SOURCE_DIR}/Velmor/Filter/*.cpp
  ${CMAKE_SOURCE_DIR}/VelmorPlugin.cpp)

add_library(velmor_plugin STATIC ${VELMOR_PLUGIN_SOURCES})
target_include_directories(velmor_plugin PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/Util
  ${CMAKE_SOURCE_DIR}/Velmor ${CMAKE_SOURCE_DIR}/Velmor/Filter)
target_link_libraries(velmor_plugin PUBLIC host_api)
set_target_properties(velmor_plugin PROPERTIES CXX_VISIBILITY_PRESET hidden
  VISIBILITY_INLINES_HIDDEN ON)

if(EXISTS ${CMAKE_SOURCE_DIR}/cmake/Pipl.cmake)
  include(${CMAKE_SOURCE_DIR}/cmake/Pipl.cmake)
endif()
