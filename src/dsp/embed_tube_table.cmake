# SPDX-License-Identifier: GPL-3.0-or-later
# Converts the tube transfer curve (resources/tube_table.txt, 4000 lines
# "x y" printed with %.17g) into a C++ array compiled into vorla_dsp, so the
# plug-in never reads the table at run time.
#
# Usage: cmake -DINPUT=<tube_table.txt> -DOUTPUT=<tube_table_data.cpp> -P embed_tube_table.cmake
cmake_minimum_required(VERSION 3.25)

if(NOT DEFINED INPUT OR NOT DEFINED OUTPUT)
  message(FATAL_ERROR "embed_tube_table: INPUT and OUTPUT must be given")
endif()

file(STRINGS "${INPUT}" lines)
list(LENGTH lines count)
if(NOT count EQUAL 4000)
  message(FATAL_ERROR "embed_tube_table: ${INPUT} has ${count} lines, expected 4000")
endif()

set(number "^[-+]?[0-9]+(\\.[0-9]+)?([eE][-+]?[0-9]+)?$")
set(body "")
set(row 0)
foreach(line IN LISTS lines)
  string(REPLACE " " ";" fields "${line}")
  list(LENGTH fields nfields)
  if(nfields EQUAL 2)
    list(GET fields 0 x)
    list(GET fields 1 y)
  endif()
  if(NOT nfields EQUAL 2 OR NOT x MATCHES "${number}" OR NOT y MATCHES "${number}")
    message(FATAL_ERROR "embed_tube_table: ${INPUT} line ${row} is not \"x y\": ${line}")
  endif()
  string(APPEND body "    {${x}, ${y}},\n")
  math(EXPR row "${row} + 1")
endforeach()

file(WRITE "${OUTPUT}.tmp"
"// Generated from resources/tube_table.txt by: cmake -DINPUT=<tube_table.txt> -DOUTPUT=<this file> -P src/dsp/embed_tube_table.cmake
// Do not edit; regenerate the text with tools/gen_tube_table.py instead.
#include \"dsp/tube_table.h\"

namespace vorla {

constinit const TubeTable kTubeTable = {{
${body}}};

} // namespace vorla
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
