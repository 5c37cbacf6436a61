# What differs between the shipped 32-bit build and its 64-bit twin, decided
# here once; the toolchain file names the triplet.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(QX_ARCH x64)
  # C names carry no leading underscore.
  set(QX_SYMBOL_PREFIX "")
  # Every function needs its unwind table: the system finds the exception
  # guard's handler by unwinding the stack.
  set(QX_UNWIND_TABLES)
else()
  set(QX_ARCH x86)
  set(QX_SYMBOL_PREFIX "_")
  # Exceptions go along the FS:[0] chain; unwind tables would only add size.
  set(QX_UNWIND_TABLES -fno-asynchronous-unwind-tables)
endif()
set(QX_DLLTOOL ${QX_TRIPLET}-dlltool)
# The structured exception guard: the FS:[0] frame chain on x86, a handler
# found through the unwind tables on x64.
set(QX_GUARD_SOURCE "${CMAKE_SOURCE_DIR}/common/structured_guard_${QX_ARCH}.cpp")

# A module definition file for this build: the 32-bit stdcall names keep
# their argument sizes (SetVar@8), which the 64-bit calling convention has
# not, so the twin's copy drops them.
function(qx_def_file source out_var)
  if(QX_ARCH STREQUAL "x86")
    set(${out_var} "${source}" PARENT_SCOPE)
    return()
  endif()
  get_filename_component(name "${source}" NAME)
  set(plain "${CMAKE_CURRENT_BINARY_DIR}/${name}")
  file(READ "${source}" text)
  string(REGEX REPLACE "@[0-9]+" "" text "${text}")
  file(CONFIGURE OUTPUT "${plain}" CONTENT "${text}" @ONLY)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${source}")
  set(${out_var} "${plain}" PARENT_SCOPE)
endfunction()

# An import library (or, with DELAY, a delayed one) of |dll| from the
# definition file |def|.
function(qx_import_library output def dll)
  cmake_parse_arguments(ARG "DELAY" "" "" ${ARGN})
  qx_def_file("${def}" plain)
  if(ARG_DELAY)
    set(kind --output-delaylib)
  else()
    set(kind --output-lib)
  endif()
  set(named)
  if(dll)
    set(named --dllname "${dll}")
  endif()
  add_custom_command(OUTPUT "${output}"
    COMMAND ${QX_DLLTOOL} --input-def "${plain}" ${named} ${kind} "${output}" -k
    DEPENDS "${def}")
endfunction()
