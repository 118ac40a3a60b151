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
#   VelmorBlind.rsrc  a classic Mac resource file holding the list in its Mac form as resource
#                  'PiPL' 16000, with a code entry per architecture of CMAKE_OSX_ARCHITECTURES
#                  ("mi64" for x86_64, "ma64" for arm64; x86_64 when none is set) (macOS bundle;
#                  not made for a Windows target)
#   macos-universal/VelmorBlind.rsrc  the same with both code entries, as the macos-universal
#                  preset makes it, so that it is built and tested off a Mac too (not made on a Mac)
# and sets VELMOR_PIPL_SOURCE, VELMOR_PIPL_RC, VELMOR_PIPL_RSRC, VELMOR_PIPL_RSRC_UNIVERSAL (off a
# Mac) and VELMOR_PIPL_SIZE for the caller.
#
# The list has two forms.
# Intel form (the ELF section and the Windows resource), all integers little-endian: a 16-bit 1, a
# 32-bit list version 0, a 32-bit property count; then per property the vendor code, the key, a
# 32-bit id 0, a 32-bit value length and the value padded with zeros to a multiple of 4. Four-
# character codes are stored with their bytes reversed. Strings carry their padding in the value
# (the length counts it), and the code entry "8664" is a zero-terminated name.
# Mac form, as the resource compiler (Rez) writes it on any Mac: every integer big-endian, codes in
# reading order, no leading 16-bit word. The length counts the value alone, never its padding; the
# strings and the code entries are length-prefixed strings and nothing more.

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
# Big-endian, for the resource file's own structure.
function(_pipl_be out value nbytes)
  _pipl_le(_le "${value}" ${nbytes})
  set(_hex "")
  math(EXPR _last "${nbytes} - 1")
  foreach(_i RANGE ${_last} 0 -1)
    math(EXPR _off "${_i} * 2")
    string(SUBSTRING "${_le}" ${_off} 2 _b)
    string(APPEND _hex "${_b}")
  endforeach()
  set(${out} "${_hex}" PARENT_SCOPE)
endfunction()

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

# An integer in the byte order of the list being written (_pipl_form, set by _pipl_list).
function(_pipl_int out value nbytes)
  if(_pipl_form STREQUAL "mac")
    _pipl_be(_h "${value}" ${nbytes})
  else()
    _pipl_le(_h "${value}" ${nbytes})
  endif()
  set(${out} "${_h}" PARENT_SCOPE)
endfunction()

# A four-character code: in the Intel form stored with its bytes reversed ("8BIM" -> "MIB8"), in
# the Mac form as it reads.
function(_pipl_fourcc out code)
  string(LENGTH "${code}" _n)
  if(NOT _n EQUAL 4)
    message(FATAL_ERROR "PiPL: '${code}' is not a four-character code")
  endif()
  string(HEX "${code}" _h)
  if(_pipl_form STREQUAL "mac")
    set(${out} "${_h}" PARENT_SCOPE)
    return()
  endif()
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

# A length-prefixed string. The Intel form pads it with zeros to a multiple of 4 within the value
# (the padding counts in the length); the Mac form leaves the padding to _pipl_property.
function(_pipl_pstring out text)
  string(LENGTH "${text}" _n)
  if(_n GREATER 255)
    message(FATAL_ERROR "PiPL: '${text}' is longer than 255 characters")
  endif()
  _pipl_le(_len ${_n} 1)
  string(HEX "${text}" _h)
  if(_pipl_form STREQUAL "mac")
    set(${out} "${_len}${_h}" PARENT_SCOPE)
  else()
    _pipl_pad4(_v "${_len}${_h}")
    set(${out} "${_v}" PARENT_SCOPE)
  endif()
endfunction()

# A zero-terminated string, padded with zeros to a multiple of 4 (the padding counts in the length).
function(_pipl_cstring out text)
  string(HEX "${text}" _h)
  _pipl_pad4(_v "${_h}00")
  set(${out} "${_v}" PARENT_SCOPE)
endfunction()

# One property: vendor "8BIM", the key, id 0, the value's own length, the value padded to 4 bytes.
macro(_pipl_property key value_hex)
  _pipl_fourcc(_vendor "8BIM")
  _pipl_fourcc(_k "${key}")
  string(LENGTH "${value_hex}" _vn)
  math(EXPR _vlen "${_vn} / 2")
  _pipl_int(_id 0 4)
  _pipl_int(_lenhex ${_vlen} 4)
  _pipl_pad4(_padded "${value_hex}")
  string(APPEND _pipl_props "${_vendor}${_k}${_id}${_lenhex}${_padded}")
  math(EXPR _pipl_count "${_pipl_count} + 1")
endmacro()

# ---- the list ------------------------------------------------------------------------------------
math(EXPR VELMOR_PIPL_VERSION_WORD
  "((${VELMOR_PIPL_VERSION_MAJOR} & 7) << 19) | ((${VELMOR_PIPL_VERSION_MINOR} & 15) << 15) | ((${VELMOR_PIPL_VERSION_BUG} & 15) << 11) | ((${VELMOR_PIPL_VERSION_STAGE} & 3) << 9) | (${VELMOR_PIPL_VERSION_BUILD} & 511)")

# The whole list as hex, in `form` ("intel" or "mac"), with one code-entry property per key given
# after it: the properties that differ between platforms. "8664" for x86-64 Windows (the ELF section
# carries the same list); "mi64" for a 64-bit Intel Mac, and "ma64" after it for Apple silicon.
# In the Intel form the entry point is a zero-terminated name, in the Mac form a length-prefixed one.
function(_pipl_list out form)
  set(_pipl_form "${form}")
  set(_pipl_props "")
  set(_pipl_count 0)
  _pipl_fourcc(_v "eFKT")
  _pipl_property("kind" "${_v}")
  _pipl_pstring(_v "${VELMOR_PIPL_NAME}")
  _pipl_property("name" "${_v}")
  _pipl_pstring(_v "${VELMOR_PIPL_CATEGORY}")
  _pipl_property("catg" "${_v}")
  if(form STREQUAL "mac")
    _pipl_pstring(_entry "${VELMOR_PIPL_ENTRY_POINT}")
  else()
    _pipl_cstring(_entry "${VELMOR_PIPL_ENTRY_POINT}")
  endif()
  foreach(_code_key IN LISTS ARGN)
    _pipl_property("${_code_key}" "${_entry}")
  endforeach()
  _pipl_int(_a ${VELMOR_PIPL_LIST_VERSION_MAJOR} 2)
  _pipl_int(_b ${VELMOR_PIPL_LIST_VERSION_MINOR} 2)
  _pipl_property("ePVR" "${_a}${_b}")
  _pipl_int(_a ${VELMOR_PIPL_API_VERSION_MAJOR} 2)
  _pipl_int(_b ${VELMOR_PIPL_API_VERSION_MINOR} 2)
  _pipl_property("eSVR" "${_a}${_b}")
  _pipl_int(_v ${VELMOR_PIPL_VERSION_WORD} 4)
  _pipl_property("eVER" "${_v}")
  _pipl_int(_v ${VELMOR_PIPL_INFO_FLAGS} 2)
  _pipl_property("eINF" "${_v}")
  _pipl_int(_v ${VELMOR_PIPL_OUT_FLAGS} 4)
  _pipl_property("eGLO" "${_v}")
  _pipl_int(_v ${VELMOR_PIPL_OUT_FLAGS2} 4)
  _pipl_property("eGL2" "${_v}")
  _pipl_pstring(_v "${VELMOR_PIPL_MATCH_NAME}")
  _pipl_property("eMNA" "${_v}")
  _pipl_int(_v ${VELMOR_PIPL_RESERVED_INFO} 4)
  _pipl_property("aeFL" "${_v}")

  set(_head "")
  if(NOT form STREQUAL "mac")
    _pipl_le(_head 1 2)  # the Intel form's leading 16-bit 1
  endif()
  _pipl_int(_h2 0 4)
  _pipl_int(_h3 ${_pipl_count} 4)
  set(${out} "${_head}${_h2}${_h3}${_pipl_props}" PARENT_SCOPE)
endfunction()

_pipl_list(_pipl intel "8664")
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

# ---- the macOS resource file ---------------------------------------------------------------------
# The resource file's own structure (header, map, lengths) is big-endian: that is the format. The
# list inside it is in the Mac form, big-endian too, as Rez writes it whatever the processor and as
# Mac hosts of this API read it from an Intel or an Apple-silicon build alike.

# Writes `file`: a resource file holding the list `pipl_hex` as resource 'PiPL' 16000.
function(_pipl_resource_file file pipl_hex)
  string(LENGTH "${pipl_hex}" _n)
  math(EXPR _mac_size "${_n} / 2")

  # Layout: a 16-byte header, 240 bytes reserved for the system and the application, the data
  # (each resource a 32-bit length then its bytes), then the map.
  set(_rsrc_data_at 256)
  math(EXPR _rsrc_data_len "4 + ${_mac_size}")
  math(EXPR _rsrc_map_at "${_rsrc_data_at} + ${_rsrc_data_len}")
  # Map: header copy 16, next-map handle 4, file reference 2, attributes 2, type-list offset 2,
  # name-list offset 2 (28); type list: count - 1 (2), one type entry (8); one reference (12).
  set(_rsrc_type_list_at 28)
  set(_rsrc_map_len 50)
  _pipl_be(_a ${_rsrc_data_at} 4)
  _pipl_be(_b ${_rsrc_map_at} 4)
  _pipl_be(_c ${_rsrc_data_len} 4)
  _pipl_be(_d ${_rsrc_map_len} 4)
  set(_rsrc_header "${_a}${_b}${_c}${_d}")
  string(REPEAT "00" 240 _rsrc_reserved)
  _pipl_be(_len ${_mac_size} 4)
  set(_rsrc_data "${_len}${pipl_hex}")
  string(HEX "PiPL" _type)
  _pipl_be(_zero16 0 2)
  _pipl_be(_zero32 0 4)
  _pipl_be(_tl ${_rsrc_type_list_at} 2)
  _pipl_be(_nl ${_rsrc_map_len} 2)              # no names: the name list is empty, at the end
  _pipl_be(_ref_list_at 10 2)                   # from the type list: past its count and one entry
  _pipl_be(_id 16000 2)
  set(_rsrc_map "${_rsrc_header}${_zero32}${_zero16}${_zero16}${_tl}${_nl}")
  string(APPEND _rsrc_map "${_zero16}${_type}${_zero16}${_ref_list_at}")
  # Reference: id, no name (-1), attributes 0 with data offset 0 (one byte, three bytes), handle 0.
  string(APPEND _rsrc_map "${_id}ffff00000000${_zero32}")
  set(_rsrc "${_rsrc_header}${_rsrc_reserved}${_rsrc_data}${_rsrc_map}")
  string(LENGTH "${_rsrc}" _n)
  math(EXPR _rsrc_size "${_n} / 2")
  math(EXPR _expected "${_rsrc_map_at} + ${_rsrc_map_len}")
  if(NOT _rsrc_size EQUAL _expected)
    message(FATAL_ERROR "PiPL: the resource file came to ${_rsrc_size} bytes, not ${_expected}")
  endif()

  # CMake strings cannot hold a zero byte, so printf writes the bytes, each as an octal escape
  # (no byte is left for printf to read as a conversion).
  set(_fmt "")
  math(EXPR _last "${_rsrc_size} - 1")
  foreach(_i RANGE 0 ${_last})
    math(EXPR _off "${_i} * 2")
    string(SUBSTRING "${_rsrc}" ${_off} 2 _b)
    math(EXPR _v "0x${_b}")
    math(EXPR _o1 "${_v} >> 6")
    math(EXPR _o2 "(${_v} >> 3) & 7")
    math(EXPR _o3 "${_v} & 7")
    string(APPEND _fmt "\\${_o1}${_o2}${_o3}")
  endforeach()
  find_program(VELMOR_PRINTF printf REQUIRED)
  get_filename_component(_dir ${file} DIRECTORY)
  file(MAKE_DIRECTORY ${_dir})
  execute_process(COMMAND ${VELMOR_PRINTF} "${_fmt}" OUTPUT_FILE ${file}.tmp RESULT_VARIABLE _rc)
  file(SIZE ${file}.tmp _written)
  if(NOT _rc EQUAL 0 OR NOT _written EQUAL _rsrc_size)
    message(FATAL_ERROR "PiPL: ${VELMOR_PRINTF} wrote ${_written} bytes of the ${_rsrc_size}-byte "
      "resource file (status ${_rc})")
  endif()
  file(COPY_FILE ${file}.tmp ${file} ONLY_IF_DIFFERENT)
  file(REMOVE ${file}.tmp)
endfunction()

if(NOT WIN32)
  # One code entry per architecture the bundle's binary is built for, in a fixed order. Without
  # CMAKE_OSX_ARCHITECTURES a Mac builds for itself; elsewhere the bundle is the x86_64 one.
  set(_archs "${CMAKE_OSX_ARCHITECTURES}")
  if(NOT _archs)
    if(APPLE)
      set(_archs ${CMAKE_HOST_SYSTEM_PROCESSOR})
    else()
      set(_archs x86_64)
    endif()
  endif()
  set(_code_keys "")
  foreach(_arch IN LISTS _archs)
    if(NOT _arch MATCHES "^(x86_64|arm64)$")
      message(FATAL_ERROR "The macOS bundle is built for x86_64, arm64 or both, not '${_arch}'.")
    endif()
  endforeach()
  if("x86_64" IN_LIST _archs)
    list(APPEND _code_keys mi64)
  endif()
  if("arm64" IN_LIST _archs)
    list(APPEND _code_keys ma64)
  endif()
  _pipl_list(_pipl_mac mac ${_code_keys})
  set(VELMOR_PIPL_RSRC ${_gen}/VelmorBlind.rsrc)
  _pipl_resource_file(${VELMOR_PIPL_RSRC} "${_pipl_mac}")
  if(NOT APPLE)
    # The macos-universal preset's list, made here too so that the tests read it off a Mac.
    _pipl_list(_pipl_mac mac mi64 ma64)
    set(VELMOR_PIPL_RSRC_UNIVERSAL ${_gen}/macos-universal/VelmorBlind.rsrc)
    _pipl_resource_file(${VELMOR_PIPL_RSRC_UNIVERSAL} "${_pipl_mac}")
  endif()
endif()
