# SPDX-License-Identifier: GPL-3.0-or-later
# Checks that every source file under SOURCE_DIR/src includes only the
# folders its layer may use.  The rules are the table between the markers
# "<!-- layers -->" and "<!-- /layers -->" in RULES_FILE (the README), so they
# are written down in one place: each row names folders under src/ in its
# first cell and the folders they may include in its second, all in
# backticks.  A folder may always include itself; a folder without a row may
# include nothing of ours.
#
#   cmake -DSOURCE_DIR=<root> -DRULES_FILE=<README.md> -P CheckLayers.cmake

cmake_minimum_required(VERSION 3.25)

file(READ "${RULES_FILE}" readme)
string(FIND "${readme}" "<!-- layers -->" begin)
string(FIND "${readme}" "<!-- /layers -->" end)
if(begin EQUAL -1 OR end EQUAL -1 OR end LESS begin)
  message(FATAL_ERROR "${RULES_FILE} has no <!-- layers --> table")
endif()
math(EXPR length "${end} - ${begin}")
string(SUBSTRING "${readme}" ${begin} ${length} table)
string(REPLACE "\n" ";" rows "${table}")

set(folders "")
foreach(row IN LISTS rows)
  if(NOT row MATCHES "^\\|([^|]*)\\|([^|]*)\\|")
    continue()
  endif()
  set(left "${CMAKE_MATCH_1}")
  set(right "${CMAKE_MATCH_2}")
  string(REGEX MATCHALL "`[a-z0-9_/]+`" owners "${left}")
  string(REGEX MATCHALL "`[a-z0-9_/]+`" allowed "${right}")
  string(REPLACE "`" "" owners "${owners}")
  string(REPLACE "`" "" allowed "${allowed}")
  foreach(owner IN LISTS owners)
    list(APPEND folders "${owner}")
    string(REPLACE "/" "_" key "${owner}")
    set(allow_${key} "${allowed}")
  endforeach()
endforeach()
if(NOT folders)
  message(FATAL_ERROR "the layers table in ${RULES_FILE} has no rows")
endif()

file(GLOB_RECURSE sources RELATIVE "${SOURCE_DIR}/src" "${SOURCE_DIR}/src/*.h"
     "${SOURCE_DIR}/src/*.cpp")
set(violations "")
foreach(source IN LISTS sources)
  # The file's folder: its directory, or the closest parent with a row.
  get_filename_component(folder "${source}" DIRECTORY)
  set(owner "")
  while(folder)
    if(folder IN_LIST folders)
      set(owner "${folder}")
      break()
    endif()
    get_filename_component(folder "${folder}" DIRECTORY)
  endwhile()
  if(NOT owner)
    get_filename_component(owner "${source}" DIRECTORY)
  endif()
  string(REPLACE "/" "_" key "${owner}")
  set(allowed "${owner};${allow_${key}}")

  file(STRINGS "${SOURCE_DIR}/src/${source}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line IN LISTS includes)
    if(NOT line MATCHES "\"([^\"]+)\"")
      continue()
    endif()
    set(target "${CMAKE_MATCH_1}")
    if(NOT target MATCHES "/")
      continue() # a file beside it (generated headers and the like)
    endif()
    get_filename_component(target_folder "${target}" DIRECTORY)
    if(NOT target_folder IN_LIST allowed)
      list(APPEND violations "src/${source} (${owner}) includes ${target}")
    endif()
  endforeach()
endforeach()

if(violations)
  list(LENGTH violations count)
  string(REPLACE ";" "\n  " listed "${violations}")
  message(FATAL_ERROR "${count} include(s) cross the layers written down in ${RULES_FILE}:\n  ${listed}")
endif()
list(LENGTH sources checked)
message(STATUS "layers: ${checked} files include only what their layer may use")
