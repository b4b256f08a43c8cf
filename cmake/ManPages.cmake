# Man pages are written by hand in docs/man and installed compressed, as
# Debian installs them (gzip -n keeps the archive free of names and times).
function(vondrel_man_page page)
  if(NOT UNIX OR APPLE)
    return()
  endif()
  set(source "${PROJECT_SOURCE_DIR}/docs/man/${page}")
  set(compressed "${PROJECT_BINARY_DIR}/man/${page}.gz")
  add_custom_command(OUTPUT "${compressed}"
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${PROJECT_BINARY_DIR}/man"
    COMMAND gzip -9nc "${source}" > "${compressed}"
    DEPENDS "${source}"
    VERBATIM)
  string(REPLACE "." "_" target "man_${page}")
  add_custom_target(${target} ALL DEPENDS "${compressed}")
  string(REGEX MATCH "[0-9]+$" section "${page}")
  install(FILES "${compressed}" DESTINATION "share/man/man${section}")
endfunction()
