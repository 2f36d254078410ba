# Our own sources build with warnings as errors; the framework's module sources, compiled into
# the same targets, keep the framework's own warning level.
set(INSTALLER_WARNING_FLAGS
    -Wall -Wextra -Wpedantic -Wshadow -Wsign-conversion -Wsign-compare -Wunreachable-code
    -Wcast-align -Wno-implicit-fallthrough -Wno-ignored-qualifiers -Woverloaded-virtual
    -Wreorder -Wzero-as-null-pointer-constant -Werror)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    list(APPEND INSTALLER_WARNING_FLAGS -Wno-maybe-uninitialized)
endif()

function(installer_project_warnings)
    set_source_files_properties(${ARGN} PROPERTIES COMPILE_OPTIONS "${INSTALLER_WARNING_FLAGS}")
endfunction()
