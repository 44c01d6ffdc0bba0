# Shipping an executable: stripped, its debug information in a separate file
# beside it in the build tree, and optionally signed with Authenticode.
#
#   TARNEL_SIGN=ON               sign the copy in the install image (osslsigncode)
#   TARNEL_SIGN_CERT             the code-signing certificate and its chain (PEM, DER or .spc)
#   TARNEL_SIGN_KEY              its private key (PEM or DER)
#   TARNEL_SIGN_PASSWORD_FILE    a file holding the key's password (optional)
#   TARNEL_SIGN_TIMESTAMP_URL    an RFC 3161 time-stamp server (optional)
#
# Unsigned is the default. The build tree's own file stays unsigned in every
# case, so that two builds of the same tree can be compared byte for byte.

option(TARNEL_SIGN "Sign the shipped executable with Authenticode (osslsigncode)" OFF)
set(TARNEL_SIGN_CERT "" CACHE FILEPATH "Code-signing certificate with its chain (PEM, DER or SPC)")
set(TARNEL_SIGN_KEY "" CACHE FILEPATH "Private key of the code-signing certificate (PEM or DER)")
set(TARNEL_SIGN_PASSWORD_FILE "" CACHE FILEPATH "File holding the private key's password (optional)")
set(TARNEL_SIGN_TIMESTAMP_URL "" CACHE STRING "RFC 3161 time-stamp server URL (optional)")

if(TARNEL_SIGN)
    find_program(TARNEL_OSSLSIGNCODE osslsigncode)
    if(NOT TARNEL_OSSLSIGNCODE)
        message(FATAL_ERROR "TARNEL_SIGN is ON but osslsigncode was not found (Debian: apt-get install osslsigncode)")
    endif()
    foreach(file TARNEL_SIGN_CERT TARNEL_SIGN_KEY)
        if(NOT EXISTS "${${file}}")
            message(FATAL_ERROR "TARNEL_SIGN is ON but ${file} ('${${file}}') names no file")
        endif()
    endforeach()
    if(TARNEL_SIGN_PASSWORD_FILE AND NOT EXISTS "${TARNEL_SIGN_PASSWORD_FILE}")
        message(FATAL_ERROR "TARNEL_SIGN_PASSWORD_FILE ('${TARNEL_SIGN_PASSWORD_FILE}') names no file")
    endif()
endif()
if(NOT CMAKE_OBJCOPY)
    message(FATAL_ERROR "objcopy of the cross toolchain not found (CMAKE_OBJCOPY)")
endif()

# tarnel_ship_executable(<target> <name>)
# After each link of <target>: its debug information goes to <base>.debug
# beside it, the file itself is stripped and names that file (.gnu_debuglink,
# with the debug file's CRC), and a copy named <name> goes to the install
# image, signed when TARNEL_SIGN is ON.
function(tarnel_ship_executable target name)
    set(exe $<TARGET_FILE:${target}>)
    set(debug $<TARGET_FILE_DIR:${target}>/$<TARGET_FILE_BASE_NAME:${target}>.debug)
    set(shipped ${TARNEL_DIST_DIR}/${name})
    if(TARNEL_SIGN)
        set(sign_options -h sha256 -n "Tarnel driver installer"
            -certs ${TARNEL_SIGN_CERT} -key ${TARNEL_SIGN_KEY})
        if(TARNEL_SIGN_PASSWORD_FILE)
            list(APPEND sign_options -readpass ${TARNEL_SIGN_PASSWORD_FILE})
        endif()
        if(TARNEL_SIGN_TIMESTAMP_URL)
            list(APPEND sign_options -ts ${TARNEL_SIGN_TIMESTAMP_URL})
        endif()
        set(place_command ${TARNEL_OSSLSIGNCODE} sign ${sign_options} -in ${exe} -out ${shipped})
    else()
        set(place_command ${CMAKE_COMMAND} -E copy ${exe} ${shipped})
    endif()
    # The commands below run after each link only; a change of the signing
    # settings changes this file, which makes the target link again.
    set(settings ${CMAKE_CURRENT_BINARY_DIR}/${target}.ship-settings)
    file(CONFIGURE OUTPUT ${settings} CONTENT "${shipped}\n${sign_options}\n" @ONLY)
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${settings})
    # objcopy writes a new PE header and, unlike the linker, stamps it with the
    # current time unless SOURCE_DATE_EPOCH says otherwise: 0, as the linker's.
    set(objcopy ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=0 ${CMAKE_OBJCOPY})
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${objcopy} --only-keep-debug ${exe} ${debug}
        COMMAND ${objcopy} --strip-all --add-gnu-debuglink=${debug} ${exe}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${TARNEL_DIST_DIR}
        COMMAND ${CMAKE_COMMAND} -E rm -f ${shipped}
        COMMAND ${place_command}
        VERBATIM)
endfunction()
