# SPDX-License-Identifier: GPL-3.0-or-later
# ResourceList.cmake - the editor's resource list (resources/CMakeLists.txt)
# is a flat list of triples <id> <type> <file>.
#
# vorla_split_resources(<list> <ids> <types> <files>) sets the three
# variables to the ids, the type names and the file names, in list order.
function(vorla_split_resources list idsVar typesVar filesVar)
  set(ids "")
  set(types "")
  set(files "")
  list(LENGTH list count)
  math(EXPR last "${count} - 1")
  foreach(i RANGE 0 ${last} 3)
    math(EXPR t "${i} + 1")
    math(EXPR f "${i} + 2")
    list(GET list ${i} id)
    list(GET list ${t} type)
    list(GET list ${f} file)
    list(APPEND ids ${id})
    list(APPEND types ${type})
    list(APPEND files ${file})
  endforeach()
  set(${idsVar} "${ids}" PARENT_SCOPE)
  set(${typesVar} "${types}" PARENT_SCOPE)
  set(${filesVar} "${files}" PARENT_SCOPE)
endfunction()
