# quellor_layer(NAME DIR DEPS...): a static library of every .cpp in DIR,
# with src/ as its include root. A layer with no sources yet is skipped.
function(quellor_layer name dir)
  file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARGN})
endfunction()

# quellor_test(NAME DIR DEPS...): one GoogleTest executable of every .cpp in DIR.
function(quellor_test name dir)
  file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(NOT sources)
    return()
  endif()
  foreach(dep ${ARGN})
    if(dep MATCHES "^quellor_" AND NOT TARGET ${dep})
      return()
    endif()
  endforeach()
  add_executable(${name} ${sources})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARGN} GTest::gtest GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    QUELLOR_TEST_DATA="${CMAKE_SOURCE_DIR}/tests/data"
    QUELLOR_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    QUELLOR_BINARY_DIR="${CMAKE_BINARY_DIR}"
    QUELLOR_CORPUS_DIR="${CMAKE_SOURCE_DIR}/../shared/corpus")
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "QUELLOR_BINARY_DIR=${CMAKE_BINARY_DIR}")
endfunction()
