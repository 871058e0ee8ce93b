# SPDX-License-Identifier: GPL-3.0-or-later
# Makes the Linux build's reference files for the Windows test suites:
#   cmake -DLINUX_BUILD=<Linux build tree> -DOUTPUT=<dir> -P linux_reference.cmake
#
#   image-<id>.raw    the editor's images as the Linux build loads them
#                     (tests/gui/image_dump.cpp)
#   editor-<name>.png vorla-snapshot's picture of the editor for the settings
#                     below; tests/editor/win32_editor_test.cpp compares the
#                     Win32 editor's window with them by name.
cmake_minimum_required(VERSION 3.25) # the policies of the project

set(snapshots
  "default|"
  "volume-0.25|--set 12=0.25"
  "volume-0.9|--set 12=0.9")

foreach(tool vorla-snapshot tests/vorla-image-dump)
  if(NOT EXISTS ${LINUX_BUILD}/${tool})
    message(FATAL_ERROR "${LINUX_BUILD}/${tool} is missing: build the Linux tree first")
  endif()
endforeach()
file(REMOVE_RECURSE ${OUTPUT})
file(MAKE_DIRECTORY ${OUTPUT})

execute_process(COMMAND ${LINUX_BUILD}/tests/vorla-image-dump ${OUTPUT} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "vorla-image-dump failed")
endif()
foreach(entry ${snapshots})
  string(REGEX REPLACE "\\|.*$" "" name "${entry}")
  string(REGEX REPLACE "^[^|]*\\|" "" arguments "${entry}")
  separate_arguments(arguments UNIX_COMMAND "${arguments}")
  execute_process(COMMAND ${LINUX_BUILD}/vorla-snapshot ${OUTPUT}/editor-${name}.png ${arguments}
    RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "vorla-snapshot failed for '${name}'")
  endif()
endforeach()
message(STATUS "Linux reference files in ${OUTPUT}")
