# Compares the dynamic symbols an engine library defines with the functions its header declares.
# Every defined dynamic symbol, whatever its kind (code, data, weak, GNU-unique, indirect, C++
# mangled), must be a declared function, and every declared function must be exported as code.
#
# Usage: cmake -DLIBRARY=<lib.so> -DHEADER=<header.h> [-DEXPORT_MACRO=<name>] -P check_exports.cmake
# Without EXPORT_MACRO, the header's export macro is the one it defines as
# __attribute__((visibility("default"))); declarations are the lines that start with it.
#
# Nothing is ignored: with this toolchain (GCC 12, GNU ld 2.40) a shared library built with
# hidden visibility defines no dynamic symbol of its own (no _init, _fini, _edata, _end or
# __bss_start, some of which older linkers exported), and the engines' version scripts are
# anonymous, so no version-node symbol (type A) is defined either. Whatever a future toolchain
# adds shows up here as "not declared" and gets looked at, rather than being let through unseen.
cmake_minimum_required(VERSION 3.25)
find_program(NM nm REQUIRED)
foreach(var LIBRARY HEADER)
  if(NOT ${var})
    message(FATAL_ERROR "check_exports.cmake needs -D${var}=...")
  endif()
endforeach()

# ---- what the library defines: "name type value [size]" per line ----
execute_process(COMMAND ${NM} -D --defined-only --format=posix ${LIBRARY}
                OUTPUT_VARIABLE symbols ERROR_VARIABLE nm_errors RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}: ${nm_errors}")
endif()
string(REPLACE "\n" ";" lines "${symbols}")
set(exported)
foreach(line IN LISTS lines)
  if(line STREQUAL "")
    continue()
  endif()
  if(NOT line MATCHES "^([^ ]+) ([A-Za-z]) ")
    message(FATAL_ERROR "unexpected nm output: ${line}")
  endif()
  set(name ${CMAKE_MATCH_1})
  set(type ${CMAKE_MATCH_2})
  list(APPEND exported ${name})
  if(name MATCHES "^[A-Za-z_][A-Za-z0-9_]*$")
    set(type_${name} ${type})
  endif()
endforeach()

# ---- what the header declares ----
file(READ ${HEADER} header)
if(NOT EXPORT_MACRO)
  string(REGEX MATCHALL
         [[#define +[A-Za-z_][A-Za-z0-9_]* +__attribute__ *\(\(visibility\("default"\)\)\)]]
         defines "${header}")
  set(macros)
  foreach(d IN LISTS defines)
    string(REGEX REPLACE "^#define +([A-Za-z_][A-Za-z0-9_]*) .*" "\\1" macro "${d}")
    list(APPEND macros ${macro})
  endforeach()
  list(REMOVE_DUPLICATES macros)
  list(LENGTH macros count)
  if(NOT count EQUAL 1)
    message(FATAL_ERROR "cannot tell the export macro of ${HEADER} (found: ${macros}); "
                        "pass -DEXPORT_MACRO=<name>")
  endif()
  set(EXPORT_MACRO ${macros})
endif()
string(REGEX MATCHALL "\n${EXPORT_MACRO} " uses "${header}")
string(REGEX MATCHALL "\n${EXPORT_MACRO} [^(;]*[ *]([A-Za-z_][A-Za-z0-9_]*)\\("
       declarations "${header}")
list(LENGTH uses use_count)
list(LENGTH declarations count)
if(count EQUAL 0 OR NOT count EQUAL use_count)
  message(FATAL_ERROR "${HEADER}: ${use_count} lines start with ${EXPORT_MACRO}, "
                      "${count} of them read as function declarations")
endif()
set(declared)
foreach(d IN LISTS declarations)
  string(REGEX REPLACE ".*[ *]([A-Za-z_][A-Za-z0-9_]*)\\($" "\\1" name "${d}")
  list(APPEND declared ${name})
endforeach()

# ---- the two must agree ----
set(extra ${exported})
list(REMOVE_ITEM extra ${declared})
set(missing ${declared})
list(LENGTH exported exported_count)
if(exported_count GREATER 0)
  list(REMOVE_ITEM missing ${exported})
endif()
# A declared name must be code: T (global) or i (indirect function). Weak (W, V), GNU-unique (u)
# and data (D, B, R, G, S, ...) symbols are never what the C interface means.
set(not_code)
foreach(name IN LISTS declared)
  if(DEFINED type_${name} AND NOT type_${name} MATCHES "^[Ti]$")
    list(APPEND not_code "${name} (${type_${name}})")
  endif()
endforeach()
set(report "")
foreach(name IN LISTS extra)
  if(DEFINED type_${name})
    string(APPEND report "\n  defined but not declared: ${name} (${type_${name}})")
  else()
    string(APPEND report "\n  defined but not declared: ${name}")
  endif()
endforeach()
foreach(name IN LISTS missing)
  string(APPEND report "\n  declared but not exported: ${name}")
endforeach()
foreach(entry IN LISTS not_code)
  string(APPEND report "\n  declared but not a function: ${entry}")
endforeach()
string(LENGTH "${report}" report_length)
if(report_length GREATER 0)
  message(FATAL_ERROR "${LIBRARY} does not export exactly the functions of ${HEADER}:${report}")
endif()
message(STATUS "${count} exports match ${HEADER}")
