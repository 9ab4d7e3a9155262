# What users install: `cmake --install` and the Debian package of the Linux tools, or the zip of
# the 32-bit Windows programs. Text files are made at configure time and the HTML documents by
# the default target, so the staged tree is the same whichever target was built last.
set(VKD_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(VKD_STAGED_DOCS ${CMAKE_BINARY_DIR}/packaging)
# Directories as Debian and unzip expect them, whatever the umask of the packaging run.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# Every time stamp in a package is the commit's, so two runs from one commit give the same bytes.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(VKD_SOURCE_DATE_EPOCH $ENV{SOURCE_DATE_EPOCH})
else()
    execute_process(COMMAND git log -1 --format=%ct WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
        OUTPUT_VARIABLE VKD_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(NOT VKD_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
        string(TIMESTAMP VKD_SOURCE_DATE_EPOCH "%s" UTC)
    endif()
endif()
set(CPACK_VKD_SOURCE_DATE_EPOCH ${VKD_SOURCE_DATE_EPOCH})
set(CPACK_VKD_PRODUCT ${VKD_PRODUCT})
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/PackageStage.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/PackageFinish.cmake)

set(CPACK_PACKAGE_NAME vkd37)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The VKD-37 parameter tool authors")
set(CPACK_PACKAGE_CONTACT "VKD-37 tools <dev@vkd37.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "set up VKD-37 motion controllers over a serial line")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)

# The top entry of CHANGELOG.md must be this version's: a release cannot go out without one.
# Prints that entry's items in the layout of a Debian changelog.
function(vkd_changelog_entry out_var)
    set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
        ${PROJECT_SOURCE_DIR}/CHANGELOG.md)
    file(READ ${PROJECT_SOURCE_DIR}/CHANGELOG.md text)
    string(FIND "${text}" "\n## " start)
    if(start EQUAL -1)
        message(FATAL_ERROR "CHANGELOG.md has no '## <version>' entry")
    endif()
    math(EXPR start "${start} + 4")
    string(SUBSTRING "${text}" ${start} -1 text)
    string(REGEX MATCH "^[^ \n]+" version "${text}")
    if(NOT version STREQUAL PROJECT_VERSION)
        message(FATAL_ERROR
            "CHANGELOG.md's top entry is ${version}, the project's version ${PROJECT_VERSION}")
    endif()
    string(FIND "${text}" "\n" end_of_heading)
    string(SUBSTRING "${text}" ${end_of_heading} -1 text)
    string(FIND "${text}" "\n## " next)
    if(NOT next EQUAL -1)
        string(SUBSTRING "${text}" 0 ${next} text)
    endif()
    # Notes to the editor stay out; a heading of the entry becomes a Debian changelog's [ group ].
    string(REGEX REPLACE "<!--([^-]|-[^-])*-->\n?" "" text "${text}")
    string(STRIP "${text}" text)
    string(REPLACE "\n  " "\n    " text "${text}")
    string(REGEX REPLACE "(^|\n)- " "\\1  * " text "${text}")
    string(REGEX REPLACE "(^|\n)### ([^\n]*)" "\\1  [ \\2 ]" text "${text}")
    set(${out_var} "${text}" PARENT_SCOPE)
endfunction()

# gzip -n stores neither name nor time.
function(vkd_gzip source target)
    execute_process(COMMAND gzip -9 -n -c ${source} OUTPUT_FILE ${target}
        COMMAND_ERROR_IS_FATAL ANY)
endfunction()

# The documents a package carries: HTML that pandoc makes from the Markdown at build time, which
# opens with a double click, beside the pictures it shows, all in one folder. Each ENTRY is
# PATH=NAME, a file of the repository the package carries and its name there; Markdown named
# .html is converted and pictures are installed here, the rest by rules of their own.
# VKD_DOCUMENTS_PACKAGE (zip or deb) says which package's words the documents take.
# package-docs.lua points each link at the file's NAME, or takes the link away where the
# package lacks the file.
find_program(VKD_PANDOC pandoc REQUIRED)
function(vkd_package_documents destination)
    set(filter ${PROJECT_SOURCE_DIR}/cmake/package-docs.lua)
    # Our own page around the text, with our own small stylesheet.
    set(template ${PROJECT_SOURCE_DIR}/cmake/package-doc.html)
    set(carried)
    foreach(entry ${ARGN})
        list(APPEND carried -M vkd-ship=${entry})
    endforeach()
    set(documents)
    foreach(entry ${ARGN})
        string(REGEX MATCH "^([^=]+)=(.+)$" pair ${entry})
        set(source ${CMAKE_MATCH_1})
        set(name ${CMAKE_MATCH_2})
        if(name MATCHES "\\.html$")
            set(document ${VKD_STAGED_DOCS}/${name})
            # XHTML 1.0 without scripts or remote parts: every browser since Windows XP's shows it.
            add_custom_command(OUTPUT ${document}
                COMMAND ${VKD_PANDOC} --from gfm --to html4 --standalone --no-highlight
                    --template ${template} --metadata lang=en --lua-filter ${filter}
                    -M vkd-package=${VKD_DOCUMENTS_PACKAGE} -M vkd-source=${source} ${carried}
                    --output ${document} ${PROJECT_SOURCE_DIR}/${source}
                DEPENDS ${PROJECT_SOURCE_DIR}/${source} ${filter} ${template}
                COMMENT "Making ${name} from ${source}")
            list(APPEND documents ${document})
            install(FILES ${document} DESTINATION ${destination})
        elseif(name MATCHES "\\.png$")
            install(FILES ${PROJECT_SOURCE_DIR}/${source} DESTINATION ${destination}
                RENAME ${name})
        endif()
    endforeach()
    add_custom_target(vkd37-documents ALL DEPENDS ${documents})
endfunction()

if(WIN32)
    # Only the 32-bit build ships; the 64-bit one exists for the tests under Wine.
    if(NOT CMAKE_SIZEOF_VOID_P EQUAL 4)
        return()
    endif()
    install(TARGETS vkd37-dialog vkd37 RUNTIME DESTINATION .)
    set(VKD_DOCUMENTS_PACKAGE zip)
    set(VKD_WEB_PAGE_DESTINATION .)
    include(${PROJECT_SOURCE_DIR}/cmake/WebPage.cmake)
    # Line ends Notepad shows on every Windows version.
    configure_file(${VKD_PACKAGING_DIR}/windows/README.txt ${VKD_STAGED_DOCS}/README.txt
        @ONLY NEWLINE_STYLE CRLF)
    # .txt: a double click opens them in Notepad, where a name without it asks for a program.
    configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${VKD_STAGED_DOCS}/LICENSE.txt
        @ONLY NEWLINE_STYLE CRLF)
    configure_file(${PROJECT_SOURCE_DIR}/CHANGELOG.md ${VKD_STAGED_DOCS}/CHANGELOG.txt
        @ONLY NEWLINE_STYLE CRLF)
    configure_file(${VKD_PACKAGING_DIR}/windows/NOTICES.txt ${VKD_STAGED_DOCS}/NOTICES.txt
        NEWLINE_STYLE CRLF)
    install(FILES ${VKD_STAGED_DOCS}/README.txt ${VKD_STAGED_DOCS}/LICENSE.txt
        ${VKD_STAGED_DOCS}/CHANGELOG.txt ${VKD_STAGED_DOCS}/NOTICES.txt DESTINATION .)
    # The linker's map of each program names the run-time parts it took, which NOTICES.txt must
    # name too (tests/package/runtime-parts.py).
    set(VKD_LINK_MAPS)
    foreach(program vkd37-dialog vkd37)
        set(map ${CMAKE_BINARY_DIR}/link-maps/${program}.map)
        target_link_options(${program} PRIVATE -Wl,-Map=${map})
        list(APPEND VKD_LINK_MAPS ${map})
    endforeach()
    file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/link-maps)
    vkd_package_documents(.
        docs/operator-guide.md=operator-guide.html docs/protocol.md=protocol.html
        docs/record.md=record.html docs/screenshot.png=screenshot.png docs/web-page.png=web-page.png
        packaging/windows/README.txt=README.txt LICENSE=LICENSE.txt CHANGELOG.md=CHANGELOG.txt
        packaging/windows/NOTICES.txt=NOTICES.txt)

    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_FILE_NAME VKD-37-${PROJECT_VERSION}-win32)
else()
    set(VKD_DEB_PACKAGE vkd37-tools)
    set(VKD_DOCUMENTS_PACKAGE deb)
    set(doc_dir share/doc/${VKD_DEB_PACKAGE})
    set(programs vkd37 vkd37-sim)
    install(TARGETS ${programs} RUNTIME DESTINATION bin)
    if(NOT VKD_SANITIZE)
        set(VKD_WEB_PAGE_DESTINATION share/vkd37)
        include(${PROJECT_SOURCE_DIR}/cmake/WebPage.cmake)
    endif()
    foreach(program ${programs})
        get_target_property(name ${program} OUTPUT_NAME)
        if(NOT name)
            set(name ${program})
        endif()
        configure_file(${PROJECT_SOURCE_DIR}/docs/man/${name}.1 ${VKD_STAGED_DOCS}/${name}.1 @ONLY)
        vkd_gzip(${VKD_STAGED_DOCS}/${name}.1 ${VKD_STAGED_DOCS}/${name}.1.gz)
        install(FILES ${VKD_STAGED_DOCS}/${name}.1.gz DESTINATION share/man/man1)
    endforeach()

    # A native package's changelog.gz is a Debian changelog, dated by the commit.
    vkd_changelog_entry(VKD_CHANGELOG_ENTRY)
    set(ENV{SOURCE_DATE_EPOCH} ${VKD_SOURCE_DATE_EPOCH})
    string(TIMESTAMP VKD_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
    file(WRITE ${VKD_STAGED_DOCS}/changelog
        "${VKD_DEB_PACKAGE} (${PROJECT_VERSION}) unstable; urgency=medium\n\n"
        "${VKD_CHANGELOG_ENTRY}\n\n -- ${CPACK_PACKAGE_CONTACT}  ${VKD_CHANGELOG_DATE}\n")
    vkd_gzip(${VKD_STAGED_DOCS}/changelog ${VKD_STAGED_DOCS}/changelog.gz)
    install(FILES ${VKD_STAGED_DOCS}/changelog.gz ${VKD_PACKAGING_DIR}/debian/copyright
        DESTINATION ${doc_dir})
    # Registers the guide with the system's documentation index.
    install(FILES ${VKD_PACKAGING_DIR}/debian/doc-base DESTINATION share/doc-base
        RENAME ${VKD_DEB_PACKAGE})
    # The licence is in the copyright file.
    vkd_package_documents(${doc_dir}
        README.md=README.html docs/operator-guide.md=operator-guide.html
        docs/protocol.md=protocol.html docs/record.md=record.html
        docs/simulator.md=simulator.html docs/screenshot.png=screenshot.png docs/web-page.png=web-page.png LICENSE=copyright)

    set(CPACK_GENERATOR DEB)
    set(CPACK_STRIP_FILES ON)
    set(CPACK_DEBIAN_PACKAGE_NAME ${VKD_DEB_PACKAGE})
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
    set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
    # CPack puts the summary above it as the synopsis.
    set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "The VKD-37 is a motion controller that moves a carriage along a rail between
a home sensor and a limit sensor. It is set up with one 19-byte frame of
parameters sent over a serial line at 9600 baud, which it echoes back.
.
vkd37 shows and changes the parameter file of the Windows dialog program,
prints and decodes frames, and uploads the parameters to a controller,
checking the echo, with exit codes for scripts and a commissioning log.
.
vkd37-sim stands in for a controller on a pseudo-terminal or a serial device,
decodes every frame it receives and can answer as a faulty controller would,
for tests and demonstrations without hardware.
.
/usr/share/vkd37/vkd37.html is the dialog's form as a web page for Chrome or
Edge, opened from disk: it uploads through the browser's serial port, opens
and saves parameter files and keeps a commissioning log.
.
The operator's guide is /usr/share/doc/vkd37-tools/operator-guide.html.")
endif()

include(CPack)
