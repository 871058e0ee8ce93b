# SPDX-License-Identifier: GPL-3.0-or-later
# The loadable plug-in: build/vorla.so (the Windows DLL: module_win32.cmake).
#
# Hosts load it with dlopen and look up VSTPluginMain (or main).  It carries
# the whole effect, exports those two symbols only, resolves every symbol at
# link time, and avoids GNU unique symbols, which would pin the library in
# memory and keep hosts from unloading it.

if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/module_win32.cmake)
  return()
endif()

add_library(vorla MODULE ${CMAKE_CURRENT_SOURCE_DIR}/plugin/entry.cpp)
target_link_libraries(vorla PRIVATE vorla_vst)
set_target_properties(vorla PROPERTIES
  PREFIX ""
  OUTPUT_NAME vorla
  SUFFIX ".so"
  LINK_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/plugin/vorla.version)

target_link_options(vorla PRIVATE
  -Wl,--version-script=${CMAKE_CURRENT_SOURCE_DIR}/plugin/vorla.version
  -Wl,--no-undefined
  # The load hook is called by the loader, not by code: keep it.
  -Wl,--undefined=vorlaRecordModuleHandle)

if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  # Applies to every static library the module is built from.
  foreach(part vorla vorla_vst vorla_editor vorla_core vorla_dsp vorla_gui vorla_resources)
    target_compile_options(${part} PRIVATE -fno-gnu-unique)
  endforeach()
endif()

if(VORLA_STATIC_RUNTIME)
  target_link_options(vorla PRIVATE -static-libstdc++ -static-libgcc)
  if(NOT WIN32)
    # The runtime linked in frees its exception pool when the host unloads us.
    target_sources(vorla PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/plugin/linux/runtime_release.cpp)
  endif()
endif()
