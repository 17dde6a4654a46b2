# Helpers shared by the module folders: one static library per folder whose sources are
# the folder's *.cpp files, and one GoogleTest executable from its tests/ folder.

# quillet_module(NAME DEPS...): library NAME from ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp,
# linking DEPS publicly; headers are included as "folder/File.h" from the source root.
function(quillet_module name)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARGN})
endfunction()

# quillet_module_tests(NAME DEPS...): test program NAME_tests from tests/*.cpp, registered
# with CTest test by test so that failures name the behaviour.
function(quillet_module_tests name)
  if(NOT QUILLET_TESTS)
    return()
  endif()
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(${name}_tests ${sources})
  target_link_libraries(${name}_tests PRIVATE ${name} ${ARGN} testsupport GTest::gtest GTest::gtest_main GTest::gmock)
  set_target_properties(${name}_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  gtest_discover_tests(${name}_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120)
endfunction()
