# SPDX-License-Identifier: GPL-3.0-or-later
# CheckModule.cmake - the checks every loadable module of ours must pass,
# for the tests' scripts (tests/plugin/check_exports.cmake,
# tests/lv2/check_lv2_exports.cmake).  Needs NM, READELF and STATIC_RUNTIME.
#
# vorla_check_module(<library> <expected exports>): the dynamic symbols it
# defines are exactly the expected ones; with a static runtime it needs no
# shared C++ runtime; and hosts can unload it (no NODELETE flag, no GNU
# unique symbols, either of which keeps a library mapped until exit).  Sets
# `dynamic` (readelf -d) and `symbolLines` (nm's lines) for further checks.
function(vorla_check_module library expected)
  execute_process(COMMAND ${NM} -D --defined-only ${library}
    OUTPUT_VARIABLE symbols RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "nm failed on ${library}")
  endif()
  string(REGEX MATCHALL "[^\n]+" lines "${symbols}")
  set(names "")
  foreach(line ${lines})
    string(REGEX REPLACE "^.* " "" name "${line}")
    list(APPEND names ${name})
  endforeach()
  if(NOT names STREQUAL "${expected}")
    message(FATAL_ERROR "${library} exports [${names}], expected exactly ${expected}")
  endif()
  execute_process(COMMAND ${READELF} -d ${library} OUTPUT_VARIABLE dynamic)
  if(STATIC_RUNTIME AND dynamic MATCHES "libstdc\\+\\+|libgcc_s")
    message(FATAL_ERROR "${library} depends on the shared C++ runtime although it is built static")
  endif()
  if(dynamic MATCHES "NODELETE")
    message(FATAL_ERROR "${library} is marked NODELETE and cannot be unloaded")
  endif()
  execute_process(COMMAND ${READELF} --dyn-syms -W ${library} OUTPUT_VARIABLE dynsyms)
  if(dynsyms MATCHES "UNIQUE")
    message(FATAL_ERROR "${library} has GNU unique symbols and cannot be unloaded")
  endif()
  set(dynamic "${dynamic}" PARENT_SCOPE)
  set(symbolLines "${lines}" PARENT_SCOPE)
endfunction()
