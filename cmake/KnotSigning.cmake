# Authenticode signatures of the Windows programs, when a certificate is given:
#   -DKNOT_SIGN_PKCS12=FILE -DKNOT_SIGN_PASSWORD_FILE=FILE [-DKNOT_SIGN_TIMESTAMP_URL=URL]
# sign each shipped program after it is linked, and the uninstaller and the installer as makensis
# writes them (SHA-256, osslsigncode). Without a certificate nothing is signed.
set(KNOT_SIGN_PKCS12 "" CACHE FILEPATH "PKCS#12 file of the certificate that signs the Windows programs")
set(KNOT_SIGN_PASSWORD_FILE "" CACHE FILEPATH "File whose first line is the PKCS#12 file's password")
set(KNOT_SIGN_TIMESTAMP_URL "" CACHE STRING "Time-stamping authority of the signatures (none if empty)")

set(knot_sign_script ${PROJECT_SOURCE_DIR}/packaging/windows/sign.sh)
set(knot_sign_nsis "") # makensis's commands that sign the uninstaller and the installer
if(KNOT_SIGN_PKCS12)
    if(NOT EXISTS "${KNOT_SIGN_PKCS12}" OR NOT EXISTS "${KNOT_SIGN_PASSWORD_FILE}")
        message(FATAL_ERROR "KNOT_SIGN_PKCS12 and KNOT_SIGN_PASSWORD_FILE must both name files")
    endif()
    find_program(KNOT_OSSLSIGNCODE osslsigncode REQUIRED)
    set(knot_sign_shell "bash \"${knot_sign_script}\" \"${KNOT_SIGN_PKCS12}\" \"${KNOT_SIGN_PASSWORD_FILE}\" \"%1\" \"${KNOT_SIGN_TIMESTAMP_URL}\"")
    set(knot_sign_nsis "!uninstfinalize '${knot_sign_shell}' = 0\n!finalize '${knot_sign_shell}' = 0")
elseif(KNOT_SIGN_PASSWORD_FILE OR KNOT_SIGN_TIMESTAMP_URL)
    message(FATAL_ERROR "KNOT_SIGN_PASSWORD_FILE and KNOT_SIGN_TIMESTAMP_URL need KNOT_SIGN_PKCS12")
endif()

# Signs `target`'s program after each link, when a certificate is given.
function(knot_sign_program target)
    if(KNOT_SIGN_PKCS12)
        add_custom_command(TARGET ${target} POST_BUILD
            COMMAND bash ${knot_sign_script} ${KNOT_SIGN_PKCS12} ${KNOT_SIGN_PASSWORD_FILE}
                    $<TARGET_FILE:${target}> ${KNOT_SIGN_TIMESTAMP_URL}
            VERBATIM)
    endif()
endfunction()
