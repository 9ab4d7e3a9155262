# Run by CPack on the finished packages: what it took from the machine rather than the commit is
# set to fixed values (see normalise-package.py).
find_program(VKD_PYTHON python3 REQUIRED)
execute_process(COMMAND ${VKD_PYTHON} ${CMAKE_CURRENT_LIST_DIR}/normalise-package.py
    ${CPACK_VKD_SOURCE_DATE_EPOCH} ${CPACK_PACKAGE_FILES} COMMAND_ERROR_IS_FATAL ANY)
