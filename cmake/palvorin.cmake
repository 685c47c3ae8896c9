# palvorin_subsystem(NAME DEPS ...): the library palvorin_NAME from every source in src/NAME.
# A folder with no source yet gives an interface library, so the layering holds from the start.
function(palvorin_subsystem name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/${name}/*.cpp)
  if(sources)
    add_library(palvorin_${name} STATIC ${sources})
    target_include_directories(palvorin_${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
    target_link_libraries(palvorin_${name} PUBLIC ${ARG_DEPS})
  else()
    add_library(palvorin_${name} INTERFACE)
    target_include_directories(palvorin_${name} INTERFACE ${CMAKE_SOURCE_DIR}/src)
    target_link_libraries(palvorin_${name} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# palvorin_tests(NAME LIBS ...): one test program per folder of tests/, every *_test.cpp in it.
function(palvorin_tests name)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${name}/*.cpp)
  if(NOT sources)
    return()
  endif()
  string(REPLACE "/" "_" target ${name})
  add_executable(test_${target} ${sources})
  target_include_directories(test_${target} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(test_${target} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  target_compile_definitions(test_${target} PRIVATE
    PALVORIN_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    PALVORIN_BINARY_DIR="${CMAKE_BINARY_DIR}")
  gtest_discover_tests(test_${target} DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "PALVORIN_BINARY_DIR=${CMAKE_BINARY_DIR}")
endfunction()
