# Run by CPack on the staged tree before it is archived: every entry gets the commit's time, so
# the archives do not depend on when or in which order the files were built.
file(GLOB_RECURSE staged LIST_DIRECTORIES true "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
if(staged)
    execute_process(COMMAND touch -h -d @${CPACK_VKD_SOURCE_DATE_EPOCH} ${staged}
        "${CPACK_TEMPORARY_INSTALL_DIRECTORY}" COMMAND_ERROR_IS_FATAL ANY)
endif()
