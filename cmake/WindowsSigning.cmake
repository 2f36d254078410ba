# Signs the Windows programs with the maker's Authenticode certificate (a PKCS#12 file), by Debian's
# osslsigncode, right after each is linked: the uninstaller before the programs that carry it are built.
#   -DINSTALLER_SIGN_PKCS12=FILE          the certificate and its key; empty: the programs are not signed
#   -DINSTALLER_SIGN_URL=URL              the product's web address in the signature (optional)
#   -DINSTALLER_SIGN_TIMESTAMP_URL=URL    an RFC 3161 timestamp server (optional, off by default): keeps the
#                                         signature valid after the certificate expires; needs the network
# The password is never in the build tree: at build time it is read from the environment variable
# INSTALLER_SIGN_PASSWORD, or from the file that INSTALLER_SIGN_PASSWORD_FILE names.
#   installer_windows_sign(<target>)
set(INSTALLER_SIGN_PKCS12 "" CACHE FILEPATH "PKCS#12 certificate that signs the Windows programs; empty: unsigned")
set(INSTALLER_SIGN_URL "" CACHE STRING "The product's web address in the programs' signatures")
set(INSTALLER_SIGN_TIMESTAMP_URL "" CACHE STRING "RFC 3161 timestamp server for the signatures; empty: none")

if(WIN32)
    # The signature's description is the product name of the programs' version resource.
    file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/../app/windows/Installer.rc product_line REGEX "\"ProductName\"")
    string(REGEX REPLACE ".*\"ProductName\", *\"([^\"\\\\]*).*" "\\1" INSTALLER_SIGN_DESCRIPTION "${product_line}")

    # What the signatures depend on: a change relinks the programs, which signs them again (or not).
    set(INSTALLER_SIGN_STAMP ${CMAKE_BINARY_DIR}/windows-signing.txt)
    set(certificate_hash "")
    if(INSTALLER_SIGN_PKCS12)
        if(NOT EXISTS ${INSTALLER_SIGN_PKCS12})
            message(FATAL_ERROR "No certificate at INSTALLER_SIGN_PKCS12=${INSTALLER_SIGN_PKCS12}")
        endif()
        file(SHA256 ${INSTALLER_SIGN_PKCS12} certificate_hash)
        message(STATUS "Signing the Windows programs with ${INSTALLER_SIGN_PKCS12}")
    else()
        message(NOTICE "The Windows programs are not signed: no certificate given (INSTALLER_SIGN_PKCS12)")
    endif()
    file(CONFIGURE OUTPUT ${INSTALLER_SIGN_STAMP} CONTENT
        "${INSTALLER_SIGN_PKCS12} ${certificate_hash} ${INSTALLER_SIGN_URL} ${INSTALLER_SIGN_TIMESTAMP_URL}\n")
endif()

function(installer_windows_sign target)
    if(NOT WIN32)
        return()
    endif()

    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${INSTALLER_SIGN_STAMP})

    if(NOT INSTALLER_SIGN_PKCS12)
        return()
    endif()

    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${PROJECT_SOURCE_DIR}/scripts/windows/sign.sh $<TARGET_FILE:${target}> ${INSTALLER_SIGN_PKCS12}
                "${INSTALLER_SIGN_DESCRIPTION}" "${INSTALLER_SIGN_URL}" "${INSTALLER_SIGN_TIMESTAMP_URL}"
        VERBATIM)
endfunction()
