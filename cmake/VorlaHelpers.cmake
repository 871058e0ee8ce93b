# SPDX-License-Identifier: GPL-3.0-or-later
# Shared CMake helpers.

include_guard(GLOBAL)

# On the Windows build the test programs run under Wine, which maps the Unix
# file system to drive Z:.  Paths compiled into a test program are written
# the way the program will see them.
if(WIN32 AND CMAKE_CROSSCOMPILING)
  set(VORLA_TEST_PATH_PREFIX "Z:")
else()
  set(VORLA_TEST_PATH_PREFIX "")
endif()

# vorla_test_path(<out-var> <absolute path or generator expression>)
# The path as a test program sees it (see above).
function(vorla_test_path out path)
  set(${out} "${VORLA_TEST_PATH_PREFIX}${path}" PARENT_SCOPE)
endfunction()

# GoogleTest for the Windows build: Debian's googletest sources
# (/usr/src/googletest, package googletest), built with the cross compiler.
# The Linux build uses the installed libraries (find_package).
function(vorla_provide_gtest)
  if(TARGET GTest::gtest)
    return()
  endif()
  if(WIN32)
    set(source /usr/src/googletest)
    if(NOT EXISTS ${source}/CMakeLists.txt)
      message(FATAL_ERROR "the Windows test programs need GoogleTest's sources in ${source} "
        "(Debian package googletest; scripts/install-deps.sh installs it)")
    endif()
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    add_subdirectory(${source} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    # Their code, not ours: our warning set and -Werror do not apply.
    foreach(t gtest gtest_main gmock gmock_main)
      set_target_properties(${t} PROPERTIES COMPILE_OPTIONS "")
    endforeach()
  else()
    find_package(GTest REQUIRED)
  endif()
endfunction()

# vorla_add_test_suite(NAME <exe> [HOST_SOURCES <files...>] [SOURCES <files...>]
#                      LIBS <targets...> [PLUGIN] [WINDOWS]
#                      [LABELS <labels...>] [PROPERTIES <ctest props...>])
#
# One GoogleTest executable per test folder, registered case by case with
# gtest_discover_tests so that CTest never needs a hand-kept list.
#
# HOST_SOURCES are the files whose cases drive the built plug-in only
# through its exported entry, as a host does (tools/hostlib, the helpers of
# tests/host), and include nothing of the effect's code beyond header-only
# definitions (parameter indices, record layouts).  On Linux they are built
# together with SOURCES.  The Windows build makes a suite of HOST_SOURCES
# alone, linked with the host library only, and runs it against vorla.dll
# under Wine; a suite without HOST_SOURCES has no Windows counterpart.  A
# new test file that drives the plug-in through its entry point belongs in
# HOST_SOURCES, and then runs on both platforms without further work.
#
# PLUGIN: the cases load the built plug-in; VORLA_PLUGIN_PATH names it and it
# is built first.
#
# WINDOWS: a suite of the Windows build only (the Win32 editor, the DLL's
# resources), built from SOURCES with LIBS and run under Wine.
function(vorla_add_test_suite)
  cmake_parse_arguments(T "PLUGIN;WINDOWS" "NAME" "HOST_SOURCES;SOURCES;LIBS;LABELS;PROPERTIES"
    ${ARGN})
  vorla_provide_gtest()
  include(GoogleTest)
  set(labels ${T_LABELS})
  set(libs ${T_LIBS})
  set(sources ${T_HOST_SOURCES} ${T_SOURCES})
  set(discovery "")
  if(T_WINDOWS)
    if(NOT WIN32)
      message(FATAL_ERROR "${T_NAME} is a suite of the Windows build")
    endif()
    list(APPEND labels wine)
    set(discovery DISCOVERY_MODE PRE_TEST)
  elseif(WIN32)
    if(NOT T_HOST_SOURCES)
      return()
    endif()
    set(sources ${T_HOST_SOURCES})
    set(libs vorla_hostlib)
    list(APPEND labels wine)
    # Listing the cases needs Wine: done when CTest runs, not when building.
    set(discovery DISCOVERY_MODE PRE_TEST)
  endif()
  add_executable(${T_NAME} ${sources})
  target_link_libraries(${T_NAME} PRIVATE ${libs} GTest::gtest GTest::gtest_main GTest::gmock)
  target_include_directories(${T_NAME} PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
  set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  if(T_PLUGIN)
    vorla_test_path(plugin "$<TARGET_FILE:vorla>")
    target_compile_definitions(${T_NAME} PRIVATE VORLA_PLUGIN_PATH="${plugin}")
    add_dependencies(${T_NAME} vorla)
  endif()
  set(props ${T_PROPERTIES})
  if(labels)
    list(APPEND props LABELS "${labels}")
  endif()
  gtest_discover_tests(${T_NAME} DISCOVERY_TIMEOUT 120 ${discovery} PROPERTIES ${props})
endfunction()

# vorla_loadable_module(<module target> <output name> <version script>)
# A library that hosts load: named exactly <output name> (plus the system's
# suffix), exporting only what <version script> lists, with every symbol
# resolved at link time (-Wl,--no-undefined); no GNU unique symbols, which
# would keep a host from unloading it; and in release builds its own C++
# runtime, whose exception pool it frees when unloaded
# (src/plugin/linux/runtime_release.cpp).  For the VST module
# (src/plugin/module.cmake) and the LV2 libraries (src/lv2, src/lv2ui).
function(vorla_loadable_module target output versionScript)
  set_target_properties(${target} PROPERTIES
    PREFIX ""
    OUTPUT_NAME ${output}
    LINK_DEPENDS ${versionScript})
  target_link_options(${target} PRIVATE
    -Wl,--version-script=${versionScript}
    -Wl,--no-undefined)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${target} PRIVATE -fno-gnu-unique)
  endif()
  if(VORLA_STATIC_RUNTIME)
    target_link_options(${target} PRIVATE -static-libstdc++ -static-libgcc)
    target_sources(${target} PRIVATE ${CMAKE_SOURCE_DIR}/src/plugin/linux/runtime_release.cpp)
  endif()
endfunction()
