# Our own code builds with warnings as errors, set per target; the framework's modules are compiled in
# their own libraries (cmake/InstallerFramework.cmake) and keep the framework's own warning level.
set(INSTALLER_WARNING_FLAGS
    -Wall -Wextra -Wpedantic -Wshadow -Wsign-conversion -Wsign-compare -Wunreachable-code
    -Wcast-align -Wno-implicit-fallthrough -Wno-ignored-qualifiers -Woverloaded-virtual
    -Wreorder -Wzero-as-null-pointer-constant -Werror)

if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    # Sources compile in batches (CMakeLists.txt), so g++ takes every source but the batch's own file for a
    # header, and a test fixture in a source's anonymous namespace for a type that a header leaks.
    list(APPEND INSTALLER_WARNING_FLAGS -Wno-maybe-uninitialized -Wno-subobject-linkage)

    if(WIN32)
        # MinGW's g++ 12 flags the framework's ListenerList iterator (a local whose address the list keeps
        # only while it iterates) as dangling.
        list(APPEND INSTALLER_WARNING_FLAGS -Wno-dangling-pointer)
    endif()
elseif(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    # clang also reports a nested class's parameters that share a name with a field of the enclosing
    # class, which g++ (the compiler of the other builds, where -Wshadow stays) accepts.
    list(APPEND INSTALLER_WARNING_FLAGS -Wno-shadow)
endif()

# C++ only: a target may also hold resource scripts or C sources that the framework generates.
list(TRANSFORM INSTALLER_WARNING_FLAGS REPLACE "(.+)" "$<$<COMPILE_LANGUAGE:CXX>:\\1>")

#   installer_project_warnings(<target>...)
function(installer_project_warnings)
    foreach(target IN LISTS ARGN)
        target_compile_options(${target} PRIVATE ${INSTALLER_WARNING_FLAGS})
    endforeach()
endfunction()
