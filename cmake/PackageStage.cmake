# Run by CPack on the staged tree before it is archived, so that the archives depend on the commit
# alone: every entry gets the commit's time, whenever and in whichever order the files were built,
# and modes that do not depend on the umask (CPack makes the folders above the installed files
# with it): 0755 for folders and programs, 0644 for the rest.
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
