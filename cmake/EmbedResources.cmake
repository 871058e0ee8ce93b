# SPDX-License-Identifier: GPL-3.0-or-later
# EmbedResources.cmake - writes a C++ source holding files as byte arrays.
#
# Run as a script at build time:
#   cmake -DOUTPUT=<file.cpp> -DSOURCE_DIR=<dir> -DRESOURCES="<id>;<type>;<file>;..." -P EmbedResources.cmake
# Each triple becomes one entry of kVorlaResources (gui/resources.h): the
# resource number, its type name ("PNG" or "BITMAP") and the file's bytes.
# File names are relative to SOURCE_DIR.

if(NOT OUTPUT OR NOT RESOURCES OR NOT SOURCE_DIR)
  message(FATAL_ERROR "EmbedResources.cmake needs OUTPUT, SOURCE_DIR and RESOURCES")
endif()

include(${CMAKE_CURRENT_LIST_DIR}/ByteArrays.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/ResourceList.cmake)
vorla_split_resources("${RESOURCES}" ids types files)

string(REPLACE ";" " " fileList "${files}")
set(text "// Generated from ${fileList} (in resources/) by cmake -P cmake/EmbedResources.cmake; do not edit.\n")
string(APPEND text "#include \"gui/resources.h\"\n\nnamespace {\n")

set(table "")
list(LENGTH files n)
math(EXPR lastIndex "${n} - 1")
foreach(i RANGE 0 ${lastIndex})
  list(GET files ${i} file)
  list(GET ids ${i} id)
  list(GET types ${i} type)
  vorla_byte_array(text "${SOURCE_DIR}/${file}" "${file}" "kData${i}")
  string(APPEND table "    {${id}, \"${type}\", kData${i}, sizeof(kData${i})},\n")
endforeach()

string(APPEND text "} // namespace\n\nnamespace vorla {\n\nconst VorlaResource kVorlaResources[] = {\n${table}};\n")
string(APPEND text "const size_t kVorlaResourceCount = sizeof(kVorlaResources) / sizeof(kVorlaResources[0]);\n\n} // namespace vorla\n")

vorla_write_if_changed("${OUTPUT}" "${text}")
