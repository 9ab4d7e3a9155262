# Run by CPack on the staged tree before it is archived, so that the archives depend on the commit
# alone: every entry gets the commit's time, whenever and in whichever order the files were built,
# and modes that do not depend on the umask (CPack makes the folders above the installed files
# with it): 0755 for folders and programs, 0644 for the rest.

# Authenticode: with a key and a certificate given (VKD_AUTHENTICODE_KEY, VKD_AUTHENTICODE_CERT
# in the environment; scripts/release.sh sets them), every program is signed in place before it is
# archived, SHA-256, dated by the commit so that one key gives the same bytes twice, and
# time-stamped by VKD_AUTHENTICODE_TIMESTAMP (an RFC 3161 server) where one is named. Removing the
# signature gives back the program as built. The signed bytes are written into the program's own
# file, which keeps its mode.
if(DEFINED ENV{VKD_AUTHENTICODE_KEY} OR DEFINED ENV{VKD_AUTHENTICODE_CERT})
    find_program(VKD_OSSLSIGNCODE osslsigncode REQUIRED)
    set(timestamp)
    if(DEFINED ENV{VKD_AUTHENTICODE_TIMESTAMP})
        set(timestamp -ts $ENV{VKD_AUTHENTICODE_TIMESTAMP})
    endif()
    file(GLOB_RECURSE programs "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*.exe")
    if(NOT programs)
        message(FATAL_ERROR "nothing to sign in ${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
    endif()
    foreach(program ${programs})
        execute_process(COMMAND ${VKD_OSSLSIGNCODE} sign -key $ENV{VKD_AUTHENTICODE_KEY}
            -certs $ENV{VKD_AUTHENTICODE_CERT} -h sha256 -n "${CPACK_VKD_PRODUCT}"
            -time ${CPACK_VKD_SOURCE_DATE_EPOCH} ${timestamp} -in ${program} -out ${program}.signed
            OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
        execute_process(COMMAND cat ${program}.signed OUTPUT_FILE ${program}
            COMMAND_ERROR_IS_FATAL ANY)
        file(REMOVE ${program}.signed)
    endforeach()
endif()

file(GLOB_RECURSE staged LIST_DIRECTORIES true "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
if(staged)
    execute_process(COMMAND chmod -R u=rwX,go=rX "${CPACK_TEMPORARY_INSTALL_DIRECTORY}"
        COMMAND_ERROR_IS_FATAL ANY)
    execute_process(COMMAND touch -h -d @${CPACK_VKD_SOURCE_DATE_EPOCH} ${staged}
        "${CPACK_TEMPORARY_INSTALL_DIRECTORY}" COMMAND_ERROR_IS_FATAL ANY)
endif()
# The Debian generator dates the control files and the members of the outer archive by this
# variable, and by the clock without it.
set(ENV{SOURCE_DATE_EPOCH} ${CPACK_VKD_SOURCE_DATE_EPOCH})
