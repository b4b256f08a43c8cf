# Each folder of src/ is one static library made of every .cpp file in it, so
# adding a file needs no change here. A folder without sources yet becomes an
# interface library, which keeps the dependency graph in one place. Files
# named *_win32.cpp (tests: *_win32_test.cpp) are built for Windows only,
# *_posix.cpp (*_posix_test.cpp) everywhere else.
function(vondrel_platform_sources out)
  set(kept)
  foreach(source IN LISTS ARGN)
    if(WIN32 AND source MATCHES "_posix(_test)?\\.cpp$")
      continue()
    endif()
    if(NOT WIN32 AND source MATCHES "_win32(_test)?\\.cpp$")
      continue()
    endif()
    list(APPEND kept "${source}")
  endforeach()
  set(${out} "${kept}" PARENT_SCOPE)
endfunction()

function(vondrel_library name folder)
  file(GLOB sources CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/src/${folder}/*.cpp")
  vondrel_platform_sources(sources ${sources})
  if(sources)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC "${PROJECT_SOURCE_DIR}/src")
    target_link_libraries(${name} PUBLIC ${ARGN})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE "${PROJECT_SOURCE_DIR}/src")
    target_link_libraries(${name} INTERFACE ${ARGN})
  endif()
endfunction()

# One GoogleTest executable per folder of tests/. Tests that find no sample
# files call GTEST_SKIP, which CTest then reports as skipped, not passed.
function(vondrel_test_suite name folder)
  file(GLOB sources CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/tests/${folder}/*.cpp")
  vondrel_platform_sources(sources ${sources})
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_include_directories(${name} PRIVATE "${PROJECT_SOURCE_DIR}/tests")
  target_link_libraries(${name} PRIVATE vondrel_test_support GTest::gmock GTest::gtest_main ${ARGN})
  # Test bodies are not hot code, and GoogleTest's macros make optimising them
  # the bulk of the build; the code under test keeps the build's own flags.
  # Line tables are enough for the stack traces a failing test prints.
  if(VONDREL_SANITIZE)
    target_compile_options(${name} PRIVATE -O0 -g1)
  else()
    target_compile_options(${name} PRIVATE -O1 -g1)
  endif()
  target_precompile_headers(${name} PRIVATE <gtest/gtest.h> <gmock/gmock.h>)
  # The environment goes through the test launcher: gtest_discover_tests
  # passes only the first entry of a list-valued ENVIRONMENT property on.
  # A cross build's own launcher (Wine) comes after it.
  set_property(TARGET ${name} PROPERTY CROSSCOMPILING_EMULATOR /usr/bin/env
    "QT_QPA_PLATFORM=offscreen" "VONDREL_SAMPLES=${VONDREL_SAMPLES}"
    "VONDREL_JET_TOOL=$<TARGET_FILE:vondrel-jet>" "VONDREL_ORACLE=${PROJECT_SOURCE_DIR}/tests/oracle"
    ${CMAKE_CROSSCOMPILING_EMULATOR})
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES
      SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]"
      TIMEOUT 600)
endfunction()

# Stops the configuration when `target` links `forbidden`, directly or through
# any library it links, so that a layer kept out of a program stays out.
function(vondrel_forbid_link target forbidden)
  set(pending ${target})
  set(seen)
  while(pending)
    list(POP_FRONT pending current)
    if(current IN_LIST seen OR NOT TARGET ${current})
      continue()
    endif()
    list(APPEND seen ${current})
    if(current STREQUAL forbidden)
      message(FATAL_ERROR "${target} links ${forbidden}, which it must not")
    endif()
    foreach(property LINK_LIBRARIES INTERFACE_LINK_LIBRARIES)
      get_target_property(links ${current} ${property})
      if(links)
        # $<LINK_ONLY:x> still links x.
        list(TRANSFORM links REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1")
        list(APPEND pending ${links})
      endif()
    endforeach()
  endwhile()
endfunction()
