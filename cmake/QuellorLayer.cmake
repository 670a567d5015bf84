# quellor_layer(NAME DIR DEPS...): a static library of every .cpp in DIR and
# its sub-folders, with src/ as its include root. A layer without sources is a configure error:
# a lost folder must not quietly drop a layer and the tests over it.
function(quellor_layer name dir)
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(NOT sources)
    message(FATAL_ERROR "${name}: no sources in ${dir}")
  endif()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARGN})
endfunction()

# quellor_platform_any: the platform layer as the program being linked asks
# for it. Libraries above the platform link this, never a build of the
# platform itself, so that a program carries exactly one: a target whose
# QUELLOR_FAULT_SEAM property is true (the tests) gets quellor_platform_faults,
# every other program gets quellor_platform, which has no seam.
add_library(quellor_platform_any INTERFACE)
target_link_libraries(quellor_platform_any INTERFACE
  "$<IF:$<BOOL:$<TARGET_PROPERTY:QUELLOR_FAULT_SEAM>>,quellor_platform_faults,quellor_platform>")

# quellor_require_targets(WHAT TARGETS...): a configure error naming WHAT
# when one of TARGETS is missing.
function(quellor_require_targets what)
  foreach(dep ${ARGN})
    if(dep MATCHES "^quellor_" AND NOT TARGET ${dep})
      message(FATAL_ERROR "${what} needs ${dep}, which is not defined")
    endif()
  endforeach()
endfunction()

# quellor_test(NAME DIR DEPS...): one GoogleTest executable of every .cpp in
# DIR, linked with the platform build that carries the fault seam.
function(quellor_test name dir)
  file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(NOT sources)
    message(FATAL_ERROR "${name}: no sources in ${dir}")
  endif()
  quellor_require_targets(${name} ${ARGN})
  add_executable(${name} ${sources})
  quellor_test_settings(${name})
  target_link_libraries(${name} PRIVATE ${ARGN} GTest::gtest GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "QUELLOR_BINARY_DIR=${CMAKE_BINARY_DIR}")
endfunction()

# quellor_test_settings(NAME): what every test executable shares: the fault
# seam, the include roots, and the folders it reads.
function(quellor_test_settings name)
  set_target_properties(${name} PROPERTIES QUELLOR_FAULT_SEAM ON)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE quellor_platform_faults)
  target_compile_definitions(${name} PRIVATE
    QUELLOR_TEST_DATA="${CMAKE_SOURCE_DIR}/tests/data"
    QUELLOR_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    QUELLOR_BINARY_DIR="${CMAKE_BINARY_DIR}"
    QUELLOR_CORPUS_DIR="${QUELLOR_CORPUS_DIR}")
endfunction()

# quellor_portable_marker(): the programs built into the current binary
# folder are a portable copy: they keep their data beside themselves (see
# platform::ProgramFolderFor). The marker is never installed.
function(quellor_portable_marker)
  file(TOUCH ${CMAKE_CURRENT_BINARY_DIR}/quellor.portable)
endfunction()
