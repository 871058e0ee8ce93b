# Shared CMake helpers.

include_guard(GLOBAL)

# vorla_add_test_suite(NAME <exe> SOURCES <files...> LIBS <targets...>
#                      [LABELS <labels...>] [PROPERTIES <ctest props...>])
#
# One GoogleTest executable per test folder, registered case by case with
# gtest_discover_tests so that CTest never needs a hand-kept list.
function(vorla_add_test_suite)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;LABELS;PROPERTIES" ${ARGN})
  find_package(GTest REQUIRED)
  include(GoogleTest)
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  target_include_directories(${T_NAME} PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
  set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  set(props ${T_PROPERTIES})
  if(T_LABELS)
    list(APPEND props LABELS "${T_LABELS}")
  endif()
  gtest_discover_tests(${T_NAME} DISCOVERY_TIMEOUT 60 PROPERTIES ${props})
endfunction()
