# Checks the built plug-in's dynamic symbols and runtime dependencies.
#   -DPLUGIN=<vorla.so> -DNM=<nm> -DREADELF=<readelf> -DSTATIC_RUNTIME=ON|OFF
#   -DPLUGIN=<vorla.dll> -DOBJDUMP=<x86_64-w64-mingw32-objdump> -DWINDOWS=1
cmake_minimum_required(VERSION 3.25) # the policies of the project
if(WINDOWS)
  include(${CMAKE_CURRENT_LIST_DIR}/check_exports_pe.cmake)
  return()
endif()
execute_process(COMMAND ${NM} -D --defined-only ${PLUGIN}
  OUTPUT_VARIABLE symbols RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "nm failed on ${PLUGIN}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${symbols}")
set(names "")
foreach(line ${lines})
  string(REGEX REPLACE "^.* " "" name "${line}")
  list(APPEND names ${name})
endforeach()
list(SORT names)
if(NOT names STREQUAL "VSTPluginMain;main")
  message(FATAL_ERROR "vorla.so exports [${names}], expected exactly VSTPluginMain and main")
endif()

# Both names must lead to the same function.
set(addresses "")
foreach(line ${lines})
  string(REGEX REPLACE " .*$" "" address "${line}")
  list(APPEND addresses ${address})
endforeach()
list(REMOVE_DUPLICATES addresses)
list(LENGTH addresses count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "VSTPluginMain and main have different addresses: ${addresses}")
endif()

execute_process(COMMAND ${READELF} -d ${PLUGIN} OUTPUT_VARIABLE dynamic RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "readelf failed on ${PLUGIN}")
endif()
if(STATIC_RUNTIME AND dynamic MATCHES "libstdc\\+\\+|libgcc_s")
  message(FATAL_ERROR "vorla.so depends on the shared C++ runtime although it is built static")
endif()
# Hosts unload plug-ins with dlclose; a GNU unique symbol or the NODELETE
# flag would keep the library mapped (and its statics alive) until exit.
if(dynamic MATCHES "NODELETE")
  message(FATAL_ERROR "vorla.so is marked NODELETE and cannot be unloaded")
endif()
execute_process(COMMAND ${READELF} --dyn-syms -W ${PLUGIN} OUTPUT_VARIABLE dynsyms)
if(dynsyms MATCHES "UNIQUE")
  message(FATAL_ERROR "vorla.so has GNU unique symbols and cannot be unloaded")
endif()
message(STATUS "vorla.so exports: ${names}")
