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
vorla_loadable_module(vorla vorla ${CMAKE_CURRENT_SOURCE_DIR}/plugin/vorla.version)
set_target_properties(vorla PROPERTIES SUFFIX ".so")
# The load hook is called by the loader, not by code: keep it.
target_link_options(vorla PRIVATE -Wl,--undefined=vorlaRecordModuleHandle)

if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  # Applies to every static library the module is built from.
  foreach(part vorla_vst vorla_editor vorla_core vorla_dsp vorla_gui vorla_resources)
    target_compile_options(${part} PRIVATE -fno-gnu-unique)
  endforeach()
endif()
