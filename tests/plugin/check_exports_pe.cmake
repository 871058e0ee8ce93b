# SPDX-License-Identifier: GPL-3.0-or-later
# The Windows DLL's exports and imports, read from its PE headers with
# objdump -p (included by check_exports.cmake).
#
# Exports: exactly VSTPluginMain and main, at the same address.
# Imports: Windows' own libraries only.  The compiler's runtimes (libgcc,
# libstdc++, winpthreads) are linked in; a DLL of theirs among the imports
# would keep the plug-in from loading on a machine without them.
execute_process(COMMAND ${OBJDUMP} -p ${PLUGIN} OUTPUT_VARIABLE headers RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "objdump -p failed on ${PLUGIN}")
endif()

if(NOT headers MATCHES "Magic[ \t]+020b")
  message(FATAL_ERROR "${PLUGIN} is not a 64-bit (PE32+) image")
endif()

# The export address table lists "[ordinal] +base[n] RVA Export RVA"; the name
# table lists "[index] name".
string(REGEX MATCH "Ordinal/Name Pointer[^\n]*\n([^\n]+\n)+" nameTable "${headers}")
string(REGEX MATCHALL "\\[ *[0-9]+\\] [A-Za-z_][A-Za-z0-9_@]*" found "${nameTable}")
set(names "")
foreach(item ${found})
  string(REGEX REPLACE "^.* " "" name "${item}")
  list(APPEND names ${name})
endforeach()
list(SORT names)
if(NOT names STREQUAL "VSTPluginMain;main")
  message(FATAL_ERROR "vorla.dll exports [${names}], expected exactly VSTPluginMain and main")
endif()
string(REGEX MATCHALL "\\+base\\[[ 0-9]+\\] [0-9a-f]+ Export RVA" entries "${headers}")
set(addresses "")
foreach(entry ${entries})
  string(REGEX REPLACE "^.*\\] ([0-9a-f]+) Export RVA$" "\\1" address "${entry}")
  list(APPEND addresses ${address})
endforeach()
list(LENGTH addresses count)
list(REMOVE_DUPLICATES addresses)
list(LENGTH addresses distinct)
if(NOT count EQUAL 2 OR NOT distinct EQUAL 1)
  message(FATAL_ERROR "VSTPluginMain and main are not one function: addresses ${addresses}")
endif()

string(REGEX MATCHALL "DLL Name: [^\n]+" importLines "${headers}")
set(imports "")
foreach(line ${importLines})
  string(REGEX REPLACE "^DLL Name: " "" dll "${line}")
  string(TOLOWER "${dll}" dll)
  list(APPEND imports ${dll})
endforeach()
# Part of every Windows installation (msvcrt.dll is Windows' own C library,
# the one mingw-w64 programs use).
set(system kernel32.dll user32.dll gdi32.dll ole32.dll msvcrt.dll)
foreach(dll ${imports})
  if(NOT dll IN_LIST system)
    message(FATAL_ERROR "vorla.dll imports ${dll}, which is not a Windows system library "
      "(imports: ${imports})")
  endif()
endforeach()
foreach(needed kernel32.dll user32.dll gdi32.dll)
  if(NOT needed IN_LIST imports)
    message(FATAL_ERROR "vorla.dll does not import ${needed}: imports ${imports}")
  endif()
endforeach()
message(STATUS "vorla.dll exports: ${names}; imports: ${imports}")
