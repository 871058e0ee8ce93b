# SPDX-License-Identifier: GPL-3.0-or-later
# The loadable plug-in on Windows: build-win/vorla.dll, 64-bit.
#
# Hosts load it with LoadLibrary and look up VSTPluginMain (or main) with
# GetProcAddress.  Like vorla.so it carries the whole effect and exports
# those two symbols only: on PE a module-definition file (vorla.def) says
# what is exported.  The C and C++ runtimes of the compiler (libgcc,
# libstdc++, winpthreads) are linked in (-static, set for every Windows
# target at the top level), so the DLL imports only Windows' own libraries:
# kernel32, user32, gdi32, ole32 and the C library msvcrt.dll
# (tests/plugin/check_exports.cmake checks both lists).  The editor's images
# are resources of the DLL (resources/CMakeLists.txt).

add_library(vorla MODULE
  ${CMAKE_CURRENT_LIST_DIR}/entry.cpp
  ${CMAKE_CURRENT_LIST_DIR}/vorla.def
  $<TARGET_OBJECTS:vorla_resources>)
target_link_libraries(vorla PRIVATE vorla_vst)
set_target_properties(vorla PROPERTIES
  PREFIX ""
  OUTPUT_NAME vorla
  SUFFIX ".dll"
  LINK_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/vorla.def)

target_link_options(vorla PRIVATE
  # The load notification is called by Windows, not by code: take ours
  # from the effect's library, not the C runtime's empty default.
  -Wl,--undefined=DllMain)
