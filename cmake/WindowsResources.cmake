# Gives a Windows GUI target the installer's own resources (icon, manifest, version) in place of the
# resources.rc that juce_add_gui_app generates. The resource script and the manifest are templates that
# get the project's version (the VERSION in CMakeLists.txt). Does nothing on other systems.
#   installer_windows_resources(<target>)
set(INSTALLER_WINDOWS_RESOURCE_DIR ${CMAKE_CURRENT_LIST_DIR}/../app/windows)

function(installer_windows_resources target)
    if(NOT WIN32)
        return()
    endif()

    find_package(Python3 REQUIRED COMPONENTS Interpreter)
    set(resource_dir ${INSTALLER_WINDOWS_RESOURCE_DIR})
    set(output_dir ${CMAKE_CURRENT_BINARY_DIR}/windows)
    set(icon ${output_dir}/Installer.ico)
    add_custom_command(OUTPUT ${icon}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${output_dir}
        COMMAND ${Python3_EXECUTABLE} ${resource_dir}/make_icon.py ${icon}
        DEPENDS ${resource_dir}/make_icon.py
        COMMENT "Drawing the installer icon")

    configure_file(${resource_dir}/Installer.rc ${output_dir}/Installer.rc @ONLY)
    configure_file(${resource_dir}/Installer.manifest ${output_dir}/Installer.manifest @ONLY)

    get_target_property(sources ${target} SOURCES)
    list(FILTER sources EXCLUDE REGEX "/resources\\.rc$")
    set_property(TARGET ${target} PROPERTY SOURCES ${sources})

    target_sources(${target} PRIVATE ${output_dir}/Installer.rc ${icon})
    set_source_files_properties(${output_dir}/Installer.rc PROPERTIES
        INCLUDE_DIRECTORIES "${output_dir}"
        OBJECT_DEPENDS "${output_dir}/Installer.manifest;${icon}")
endfunction()
