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
  file(READ "${SOURCE_DIR}/${file}" hex HEX)
  string(LENGTH "${hex}" hexLength)
  math(EXPR size "${hexLength} / 2")
  # Sixteen bytes per line.
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){16})" "\\1\n    " bytes "${bytes}")
  string(APPEND text "// ${file}\nconst uint8_t kData${i}[${size}] = {\n    ${bytes}\n};\n\n")
  string(APPEND table "    {${id}, \"${type}\", kData${i}, sizeof(kData${i})},\n")
endforeach()

string(APPEND text "} // namespace\n\nnamespace vorla {\n\nconst VorlaResource kVorlaResources[] = {\n${table}};\n")
string(APPEND text "const size_t kVorlaResourceCount = sizeof(kVorlaResources) / sizeof(kVorlaResources[0]);\n\n} // namespace vorla\n")

# Rewrite only when the content changed, so that dependants are not rebuilt.
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
  if(old STREQUAL text)
    return()
  endif()
endif()
file(WRITE "${OUTPUT}" "${text}")
