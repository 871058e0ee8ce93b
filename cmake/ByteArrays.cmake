# SPDX-License-Identifier: GPL-3.0-or-later
# ByteArrays.cmake - what the embedding scripts (EmbedResources.cmake,
# EmbedFiles.cmake) share: a file as a C++ byte array, and writing the
# generated source only when its content changed (so dependants are not
# rebuilt).

# vorla_byte_array(<out-var> <path> <label> <symbol>): appends to <out-var>
# the definition `const uint8_t <symbol>[size] = {...};` of the file's
# bytes, sixteen to a line, under a comment naming <label>.
function(vorla_byte_array out path label symbol)
  file(READ "${path}" hex HEX)
  string(LENGTH "${hex}" hexLength)
  math(EXPR size "${hexLength} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){16})" "\\1\n    " bytes "${bytes}")
  set(${out} "${${out}}// ${label}\nconst uint8_t ${symbol}[${size}] = {\n    ${bytes}\n};\n\n"
      PARENT_SCOPE)
endfunction()

# vorla_write_if_changed(<path> <text>)
function(vorla_write_if_changed path text)
  if(EXISTS "${path}")
    file(READ "${path}" old)
    if(old STREQUAL text)
      return()
    endif()
  endif()
  file(WRITE "${path}" "${text}")
endfunction()
