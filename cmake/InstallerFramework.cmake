# The framework's modules, each compiled once into a static library of ours, with the framework's own
# warning level: our warning flags are set on our own targets only (cmake/InstallerWarnings.cmake).
#   installer_framework_library(<target> <module>...)
# compiles exactly the modules named. The modules they depend on are not compiled again: <target> gets
# them by linking the library that holds them. The modules' include folders, definitions and system
# libraries become <target>'s public usage requirements, so linking <target> is all a consumer needs.
function(installer_framework_library target)
    add_library(${target} STATIC)
    # Each module is a single source made to be compiled alone.
    set_target_properties(${target} PROPERTIES UNITY_BUILD OFF)

    foreach(module IN LISTS ARGN)
        get_target_property(sources ${module} INTERFACE_SOURCES)
        target_sources(${target} PRIVATE ${sources})

        foreach(requirement INCLUDE_DIRECTORIES COMPILE_DEFINITIONS COMPILE_FEATURES)
            get_target_property(values ${module} INTERFACE_${requirement})
            if(values)
                set_property(TARGET ${target} APPEND PROPERTY ${requirement} ${values})
                set_property(TARGET ${target} APPEND PROPERTY INTERFACE_${requirement} ${values})
            endif()
        endforeach()

        # Options such as MinGW's big-object flag concern the module's own source only.
        get_target_property(options ${module} INTERFACE_COMPILE_OPTIONS)
        if(options)
            target_compile_options(${target} PRIVATE ${options})
        endif()

        # Other modules appear here by their plain names; their code lives in another of these libraries.
        get_target_property(libraries ${module} INTERFACE_LINK_LIBRARIES)
        if(libraries)
            list(FILTER libraries EXCLUDE REGEX "^juce_")
            target_link_libraries(${target} PUBLIC ${libraries})
        endif()
    endforeach()

    # Its -O3 would override a sanitized build's -O1 (CMakeLists.txt).
    if(NOT INSTALLER_SANITIZE)
        target_link_libraries(${target} PUBLIC juce::juce_recommended_config_flags)
    endif()
endfunction()
