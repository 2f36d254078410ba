# Gives a Windows program its own resources (icon, manifest, version), in place of the resources.rc that
# juce_add_gui_app generates for the installer. The resource script <NAME>.rc and the manifest
# <NAME>.manifest in TEMPLATES are templates that get the project's version (the VERSION in
# CMakeLists.txt); every program gets the installer's icon as Installer.ico beside them. Does nothing on
# other systems.
#   installer_windows_resources(<target> [TEMPLATES <folder>] [NAME <name>])
# The default is the installer's own: app/windows/Installer.rc and Installer.manifest.
set(INSTALLER_WINDOWS_RESOURCE_DIR ${CMAKE_CURRENT_LIST_DIR}/../app/windows)

function(installer_windows_resources target)
    cmake_parse_arguments(arg "" "TEMPLATES;NAME" "" ${ARGN})

    if(NOT WIN32)
        return()
    endif()

    set(template_dir ${INSTALLER_WINDOWS_RESOURCE_DIR})
    set(name Installer)
    if(arg_TEMPLATES)
        set(template_dir ${arg_TEMPLATES})
    endif()
    if(arg_NAME)
        set(name ${arg_NAME})
    endif()

    find_package(Python3 REQUIRED COMPONENTS Interpreter)
    set(output_dir ${CMAKE_CURRENT_BINARY_DIR}/windows)
    set(icon ${output_dir}/Installer.ico)
    # Drawn once for all the programs of a folder.
    get_property(icon_drawn DIRECTORY PROPERTY INSTALLER_ICON_DRAWN)
    if(NOT icon_drawn)
        set_property(DIRECTORY PROPERTY INSTALLER_ICON_DRAWN TRUE)
        add_custom_command(OUTPUT ${icon}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${output_dir}
            COMMAND ${Python3_EXECUTABLE} ${INSTALLER_WINDOWS_RESOURCE_DIR}/make_icon.py ${icon}
            DEPENDS ${INSTALLER_WINDOWS_RESOURCE_DIR}/make_icon.py
            COMMENT "Drawing the installer icon")
    endif()

    configure_file(${template_dir}/${name}.rc ${output_dir}/${name}.rc @ONLY)
    configure_file(${template_dir}/${name}.manifest ${output_dir}/${name}.manifest @ONLY)

    get_target_property(sources ${target} SOURCES)
    list(FILTER sources EXCLUDE REGEX "/resources\\.rc$")
    set_property(TARGET ${target} PROPERTY SOURCES ${sources})

    target_sources(${target} PRIVATE ${output_dir}/${name}.rc ${icon})
    set_source_files_properties(${output_dir}/${name}.rc PROPERTIES
        INCLUDE_DIRECTORIES "${output_dir}"
        OBJECT_DEPENDS "${output_dir}/${name}.manifest;${icon}")
endfunction()
