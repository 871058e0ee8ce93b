# SPDX-License-Identifier: GPL-3.0-or-later
# Checks the built plug-in's dynamic symbols and runtime dependencies.
#   -DPLUGIN=<vorla.so> -DNM=<nm> -DREADELF=<readelf> -DSTATIC_RUNTIME=ON|OFF
#   -DPLUGIN=<vorla.dll> -DOBJDUMP=<x86_64-w64-mingw32-objdump> -DWINDOWS=1
cmake_minimum_required(VERSION 3.25) # the policies of the project
if(WINDOWS)
  include(${CMAKE_CURRENT_LIST_DIR}/check_exports_pe.cmake)
  return()
endif()
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/CheckModule.cmake)
vorla_check_module(${PLUGIN} "VSTPluginMain;main")

# Both names must lead to the same function.
set(addresses "")
foreach(line ${symbolLines})
  string(REGEX REPLACE " .*$" "" address "${line}")
  list(APPEND addresses ${address})
endforeach()
list(REMOVE_DUPLICATES addresses)
list(LENGTH addresses count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "VSTPluginMain and main have different addresses: ${addresses}")
endif()
message(STATUS "vorla.so exports VSTPluginMain and main, one function")
