# A Windows program that runs with administrator rights from a download folder must not load a DLL that
# someone put beside it. installer_windows_dll_safety(<target>) gives the target an entry point that
# restricts the DLL search to the system folder before anything else runs (app/WindowsEntryPoint.cpp),
# and delay-loads every DLL it imports but the two that the C runtime needs before that entry point's
# work is done, kernel32 and msvcrt, both protected by Windows as known DLLs. The others, known DLLs
# or not, are then looked for only after the search is restricted: a known DLL's own imports are
# protected only on Windows, not under Wine, where the tests run. Does nothing on other systems.
#   installer_windows_dll_safety(<target> [CONSOLE])
# CONSOLE for a console program, whose C runtime starts at main rather than WinMain.

# The import libraries of every DLL the installer imports but kernel32 and msvcrt.
# tests/windows/run-wine-containment.sh fails when the program imports another DLL directly.
set(INSTALLER_DELAY_LOADED_DLLS
    advapi32 comdlg32 gdi32 imm32 ole32 oleaut32 shell32 shlwapi user32 ws2_32
    version winmm wininet wsock32 dxgi)

# A delay-import library for `dll`, made from the toolchain's import library of the same name.
function(_installer_delay_import_library dll directory)
    set(output ${directory}/lib${dll}.a)

    if(EXISTS ${output})
        return()
    endif()

    find_library(INSTALLER_IMPORT_LIBRARY_${dll} NAMES lib${dll}.a REQUIRED NO_CACHE)
    execute_process(COMMAND ${CMAKE_NM} -g --defined-only ${INSTALLER_IMPORT_LIBRARY_${dll}}
        OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)

    # A function has a code symbol beside its import pointer; data cannot be delay-loaded.
    string(REGEX MATCHALL "[0-9a-f]+ T [A-Za-z_][A-Za-z0-9_@]*" functions "${symbols}")
    list(TRANSFORM functions REPLACE "^[0-9a-f]+ T " "")
    list(REMOVE_DUPLICATES functions)
    list(JOIN functions "\n    " exports)

    set(definition ${directory}/${dll}.def)
    file(WRITE ${definition} "LIBRARY ${dll}.dll\nEXPORTS\n    ${exports}\n")
    execute_process(COMMAND ${INSTALLER_DLLTOOL} --input-def ${definition} --dllname ${dll}.dll --output-delaylib ${output}
        COMMAND_ERROR_IS_FATAL ANY)
endfunction()

function(installer_windows_dll_safety target)
    cmake_parse_arguments(arg "CONSOLE" "" "" ${ARGN})

    if(NOT WIN32)
        return()
    endif()

    target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/app/WindowsEntryPoint.cpp)
    if(arg_CONSOLE)
        target_compile_definitions(${target} PRIVATE INSTALLER_CONSOLE_PROGRAM=1)
    endif()

    find_program(INSTALLER_DLLTOOL NAMES ${INSTALLER_MINGW_TRIPLET}-dlltool REQUIRED)
    set(directory ${CMAKE_BINARY_DIR}/delay-import)
    file(MAKE_DIRECTORY ${directory})

    foreach(dll IN LISTS INSTALLER_DELAY_LOADED_DLLS)
        _installer_delay_import_library(${dll} ${directory})
    endforeach()

    # Searched before the toolchain's own folder, so that -lversion and the like find these.
    target_link_directories(${target} BEFORE PRIVATE ${directory})
    target_link_options(${target} PRIVATE -Wl,--entry=installerEntryPoint)
endfunction()
