# Each folder of src/ is one static library made of every .cpp file in it, so
# adding a file needs no change here. A folder without sources yet becomes an
# interface library, which keeps the dependency graph in one place. Files
# named *_win32.cpp (tests: *_win32_test.cpp) are built for Windows only,
# *_posix.cpp (*_posix_test.cpp) everywhere else.
# Tests that run Linux programs (mdbtools, node, the Linux vondrel-jet, fork,
# mount) and so are built on Linux only, by file name under tests/.
set(VONDREL_LINUX_ONLY_TESTS
  platform/fake_file_system_test.cpp
  repair/repair_operation_test.cpp
  repair/repair_samples_test.cpp
  repair/jet_database_engine_test.cpp
  jet/compact/compact_built_test.cpp
  jet/compact/compact_disk_test.cpp
  jet/compact/compact_samples_test.cpp
  jet/compact/mdb_reader_compacted_test.cpp
  jet/compact/salvage_built_test.cpp
  jet/compact/salvage_expectations_test.cpp
  jet/compact/salvage_samples_test.cpp
  jet/read/database_samples_test.cpp
  jet/read/mdb_reader_conformance_test.cpp
  jet/read/mdbtools_conformance_test.cpp
  jet/write/database_writer_test.cpp
  jet/write/index_spill_test.cpp
  tool/aged_database_test.cpp
  tool/terminal_runner.cpp
  tool/tool_commands_test.cpp
  tool/tool_help_test.cpp
  tool/tool_json_test.cpp
  tool/tool_progress_test.cpp
  tool/tool_repair_test.cpp
)

function(vondrel_platform_sources out)
  set(kept)
  foreach(source IN LISTS ARGN)
    if(WIN32 AND source MATCHES "_posix(_test)?\\.cpp$")
      continue()
    endif()
    file(RELATIVE_PATH relative "${PROJECT_SOURCE_DIR}/tests" "${source}")
    if(WIN32 AND relative IN_LIST VONDREL_LINUX_ONLY_TESTS)
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
