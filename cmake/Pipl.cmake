# The module's property list (PiPL): the record a host reads from the module file, without running
# any of its code, to learn the effect's name, category, match name, entry point, version and flags.
#
# The values come from VelmorPiPL.h, the header GlobalSetup and About compile against, so the list
# and the running module cannot disagree. The bytes are produced here, in CMake script at configure
# time, because a cross build (mingw-w64) cannot run a generator built for its target.
#
# Outputs (in ${CMAKE_BINARY_DIR}/generated):
#   VelmorPiPL.c   the bytes as one array placed in the ELF section ".pipl" (Linux module)
#   VelmorPiPL.rc  the bytes as a user-defined resource, type "PIPL", id 16000, language 1033
#                  (Windows module), written as 16-bit words
# and sets VELMOR_PIPL_SOURCE, VELMOR_PIPL_RC and VELMOR_PIPL_SIZE for the caller.
#
# Layout, all integers little-endian: a 16-bit 1, a 32-bit list version 0, a 32-bit property count;
# then per property the vendor code, the key, a 32-bit id 0, a 32-bit value length and the value
# padded with zeros to a multiple of 4. Four-character codes are stored with their bytes reversed.

set(VELMOR_PIPL_HEADER ${CMAKE_SOURCE_DIR}/VelmorPiPL.h)
set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${VELMOR_PIPL_HEADER})

# ---- reading the identity ------------------------------------------------------------------------
file(STRINGS ${VELMOR_PIPL_HEADER} _pipl_lines REGEX "^#define VELMOR_PIPL_[A-Z0-9_]+ ")
foreach(_line IN LISTS _pipl_lines)
  if(_line MATCHES "^#define (VELMOR_PIPL_[A-Z0-9_]+) \"([^\"]*)\"$")
    set(${CMAKE_MATCH_1} "${CMAKE_MATCH_2}")
  elseif(_line MATCHES "^#define (VELMOR_PIPL_[A-Z0-9_]+) (0x[0-9A-Fa-f]+|[0-9]+)$")
    set(${CMAKE_MATCH_1} "${CMAKE_MATCH_2}")
  else()
    message(FATAL_ERROR "VelmorPiPL.h: cannot read '${_line}': use a plain string or number")
  endif()
endforeach()
foreach(_key NAME CATEGORY MATCH_NAME ENTRY_POINT VERSION_MAJOR VERSION_MINOR VERSION_BUG
    VERSION_STAGE VERSION_BUILD OUT_FLAGS OUT_FLAGS2 LIST_VERSION_MAJOR LIST_VERSION_MINOR
    API_VERSION_MAJOR API_VERSION_MINOR INFO_FLAGS RESERVED_INFO)
  if(NOT DEFINED VELMOR_PIPL_${_key})
    message(FATAL_ERROR "VelmorPiPL.h does not define VELMOR_PIPL_${_key}")
  endif()
endforeach()

# ---- byte helpers: every value is a string of hex digits, two per byte ---------------------------
function(_pipl_le out value nbytes)
  set(_hex "")
  set(_v "${value}")
  foreach(_i RANGE 1 ${nbytes})
    math(EXPR _byte "(${_v}) & 0xFF")
    math(EXPR _hi "${_byte} >> 4")
    math(EXPR _lo "${_byte} & 15")
    string(SUBSTRING "0123456789abcdef" ${_hi} 1 _h)
    string(SUBSTRING "0123456789abcdef" ${_lo} 1 _l)
    string(APPEND _hex "${_h}${_l}")
    math(EXPR _v "(${_v}) >> 8")
  endforeach()
  set(${out} "${_hex}" PARENT_SCOPE)
endfunction()

# A four-character code, stored with its bytes reversed ("8BIM" -> "MIB8").
function(_pipl_fourcc out code)
  string(LENGTH "${code}" _n)
  if(NOT _n EQUAL 4)
    message(FATAL_ERROR "PiPL: '${code}' is not a four-character code")
  endif()
  string(HEX "${code}" _h)
  set(_rev "")
  foreach(_i 6 4 2 0)
    string(SUBSTRING "${_h}" ${_i} 2 _b)
    string(APPEND _rev "${_b}")
  endforeach()
  set(${out} "${_rev}" PARENT_SCOPE)
endfunction()

function(_pipl_pad4 out hex)
  string(LENGTH "${hex}" _n)
  math(EXPR _rem "(${_n} / 2) % 4")
  if(NOT _rem EQUAL 0)
    math(EXPR _fill "4 - ${_rem}")
    foreach(_i RANGE 1 ${_fill})
      string(APPEND hex "00")
    endforeach()
  endif()
  set(${out} "${hex}" PARENT_SCOPE)
endfunction()

# A length-prefixed string, padded with zeros to a multiple of 4 (the padding counts in the length).
function(_pipl_pstring out text)
  string(LENGTH "${text}" _n)
  if(_n GREATER 255)
    message(FATAL_ERROR "PiPL: '${text}' is longer than 255 characters")
  endif()
  _pipl_le(_len ${_n} 1)
  string(HEX "${text}" _h)
  _pipl_pad4(_v "${_len}${_h}")
  set(${out} "${_v}" PARENT_SCOPE)
endfunction()

# A zero-terminated string, padded with zeros to a multiple of 4 (the padding counts in the length).
function(_pipl_cstring out text)
  string(HEX "${text}" _h)
  _pipl_pad4(_v "${_h}00")
  set(${out} "${_v}" PARENT_SCOPE)
endfunction()

# One property: vendor "8BIM", the key, id 0, the value's own length, the value padded to 4 bytes.
set(_pipl_props "")
set(_pipl_count 0)
macro(_pipl_property key value_hex)
  _pipl_fourcc(_vendor "8BIM")
  _pipl_fourcc(_k "${key}")
  string(LENGTH "${value_hex}" _vn)
  math(EXPR _vlen "${_vn} / 2")
  _pipl_le(_id 0 4)
  _pipl_le(_lenhex ${_vlen} 4)
  _pipl_pad4(_padded "${value_hex}")
  string(APPEND _pipl_props "${_vendor}${_k}${_id}${_lenhex}${_padded}")
  math(EXPR _pipl_count "${_pipl_count} + 1")
endmacro()

# ---- the list ------------------------------------------------------------------------------------
math(EXPR VELMOR_PIPL_VERSION_WORD
  "((${VELMOR_PIPL_VERSION_MAJOR} & 7) << 19) | ((${VELMOR_PIPL_VERSION_MINOR} & 15) << 15) | ((${VELMOR_PIPL_VERSION_BUG} & 15) << 11) | ((${VELMOR_PIPL_VERSION_STAGE} & 3) << 9) | (${VELMOR_PIPL_VERSION_BUILD} & 511)")

_pipl_fourcc(_v "eFKT")
_pipl_property("kind" "${_v}")
_pipl_pstring(_v "${VELMOR_PIPL_NAME}")
_pipl_property("name" "${_v}")
_pipl_pstring(_v "${VELMOR_PIPL_CATEGORY}")
_pipl_property("catg" "${_v}")
_pipl_cstring(_v "${VELMOR_PIPL_ENTRY_POINT}")
_pipl_property("8664" "${_v}")
_pipl_le(_a ${VELMOR_PIPL_LIST_VERSION_MAJOR} 2)
_pipl_le(_b ${VELMOR_PIPL_LIST_VERSION_MINOR} 2)
_pipl_property("ePVR" "${_a}${_b}")
_pipl_le(_a ${VELMOR_PIPL_API_VERSION_MAJOR} 2)
_pipl_le(_b ${VELMOR_PIPL_API_VERSION_MINOR} 2)
_pipl_property("eSVR" "${_a}${_b}")
_pipl_le(_v ${VELMOR_PIPL_VERSION_WORD} 4)
_pipl_property("eVER" "${_v}")
_pipl_le(_v ${VELMOR_PIPL_INFO_FLAGS} 2)
_pipl_property("eINF" "${_v}")
_pipl_le(_v ${VELMOR_PIPL_OUT_FLAGS} 4)
_pipl_property("eGLO" "${_v}")
_pipl_le(_v ${VELMOR_PIPL_OUT_FLAGS2} 4)
_pipl_property("eGL2" "${_v}")
_pipl_pstring(_v "${VELMOR_PIPL_MATCH_NAME}")
_pipl_property("eMNA" "${_v}")
_pipl_le(_v ${VELMOR_PIPL_RESERVED_INFO} 4)
_pipl_property("aeFL" "${_v}")

_pipl_le(_h1 1 2)
_pipl_le(_h2 0 4)
_pipl_le(_h3 ${_pipl_count} 4)
set(_pipl "${_h1}${_h2}${_h3}${_pipl_props}")
string(LENGTH "${_pipl}" _n)
math(EXPR VELMOR_PIPL_SIZE "${_n} / 2")
math(EXPR _odd "${VELMOR_PIPL_SIZE} % 2")
if(_odd)
  message(FATAL_ERROR "PiPL: ${VELMOR_PIPL_SIZE} bytes cannot be written as 16-bit words")
endif()

# ---- emitting ------------------------------------------------------------------------------------
set(_gen ${CMAKE_BINARY_DIR}/generated)
file(MAKE_DIRECTORY ${_gen})

# C source: twelve bytes a line.
set(_c "/* Generated by cmake/Pipl.cmake from VelmorPiPL.h. Do not edit. */\n")
string(APPEND _c "/* The property list the host reads from the file: it stays local (no dynamic symbol)\n")
string(APPEND _c "   and is kept by the used attribute although nothing refers to it. */\n")
string(APPEND _c "__attribute__((section(\".pipl\"), used))\n")
string(APPEND _c "static const unsigned char velmor_pipl[${VELMOR_PIPL_SIZE}] = {")
math(EXPR _last "${VELMOR_PIPL_SIZE} - 1")
foreach(_i RANGE 0 ${_last})
  math(EXPR _col "${_i} % 12")
  if(_col EQUAL 0)
    string(APPEND _c "\n   ")
  endif()
  math(EXPR _off "${_i} * 2")
  string(SUBSTRING "${_pipl}" ${_off} 2 _b)
  string(APPEND _c " 0x${_b},")
endforeach()
string(APPEND _c "\n};\n")

# Resource script: 16-bit little-endian words, eight a line.
set(_rc "/* Generated by cmake/Pipl.cmake from VelmorPiPL.h. Do not edit. */\n")
string(APPEND _rc "/* English (United States): LANG_ENGLISH 9, SUBLANG_ENGLISH_US 1, i.e. 1033. */\n")
string(APPEND _rc "LANGUAGE 9, 1\n\n16000 PIPL\nBEGIN")
math(EXPR _words "${VELMOR_PIPL_SIZE} / 2")
math(EXPR _lastw "${_words} - 1")
foreach(_i RANGE 0 ${_lastw})
  math(EXPR _col "${_i} % 8")
  if(_col EQUAL 0)
    string(APPEND _rc "\n   ")
  endif()
  math(EXPR _off "${_i} * 4")
  string(SUBSTRING "${_pipl}" ${_off} 2 _lo)
  math(EXPR _off "${_off} + 2")
  string(SUBSTRING "${_pipl}" ${_off} 2 _hi)
  if(_i EQUAL _lastw)
    string(APPEND _rc " 0x${_hi}${_lo}")
  else()
    string(APPEND _rc " 0x${_hi}${_lo},")
  endif()
endforeach()
string(APPEND _rc "\nEND\n")

file(WRITE ${_gen}/VelmorPiPL.c.tmp "${_c}")
file(WRITE ${_gen}/VelmorPiPL.rc.tmp "${_rc}")
file(COPY_FILE ${_gen}/VelmorPiPL.c.tmp ${_gen}/VelmorPiPL.c ONLY_IF_DIFFERENT)
file(COPY_FILE ${_gen}/VelmorPiPL.rc.tmp ${_gen}/VelmorPiPL.rc ONLY_IF_DIFFERENT)
file(REMOVE ${_gen}/VelmorPiPL.c.tmp ${_gen}/VelmorPiPL.rc.tmp)

set(VELMOR_PIPL_SOURCE ${_gen}/VelmorPiPL.c)
set(VELMOR_PIPL_RC ${_gen}/VelmorPiPL.rc)
