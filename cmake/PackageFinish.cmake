# Run by CPack on the finished packages: what it took from the machine rather than the commit is
# set to the commit's values by Debian's strip-nondeterminism. The zip writer stores each entry
# with its extended time stamps and the packager's user and group id, in the order the folder
# lists them; the members of a .deb's outer archive get the modes of the packager's umask (the ar
# handler, off by default, must be asked for). The zip handler writes the entries' MS-DOS times
# in local time, so it runs in UTC.
#
# Beside the zip it then writes its copy for Windows XP and Vista, whose own extraction ignores
# the UTF-8 flag and reads names in the system's code page: the same entries with the names in
# code page 936 and, for every other reader, in UTF-8 in the Unicode Path extra field.
find_program(VKD_STRIP_NONDETERMINISM strip-nondeterminism REQUIRED)
find_program(VKD_PYTHON python3 REQUIRED)
foreach(package ${CPACK_PACKAGE_FILES})
    if(package MATCHES "\\.deb$")
        set(type ar)
    elseif(package MATCHES "\\.zip$")
        set(type zip)
    else()
        continue()
    endif()
    execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC ${VKD_STRIP_NONDETERMINISM}
        --normalizers=+${type} --type ${type} --timestamp ${CPACK_VKD_SOURCE_DATE_EPOCH} ${package}
        COMMAND_ERROR_IS_FATAL ANY)
    if(type STREQUAL zip)
        # Into the output folder itself: CPack copies only the packages it made there.
        get_filename_component(name ${package} NAME_WLE)
        set(old_windows_zip ${CPACK_PACKAGE_DIRECTORY}/${name}-xp.zip)
        execute_process(COMMAND ${VKD_PYTHON} ${CMAKE_CURRENT_LIST_DIR}/zip-for-old-windows.py
            ${package} ${old_windows_zip} COMMAND_ERROR_IS_FATAL ANY)
    endif()
endforeach()
