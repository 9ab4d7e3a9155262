# CLI11 and nlohmann/json, header-only from Debian, for the command-line programs. A folder in the
# build tree holds links to just their two include folders, so a mingw build sees those and
# never the rest of /usr/include.
set(VKD_CLI11_INCLUDE /usr/include/CLI CACHE PATH "CLI11 headers (Debian's libcli11-dev)")
set(VKD_JSON_INCLUDE /usr/include/nlohmann CACHE PATH "nlohmann/json headers (nlohmann-json3-dev)")
foreach(folder ${VKD_CLI11_INCLUDE} ${VKD_JSON_INCLUDE})
    if(NOT EXISTS ${folder})
        message(FATAL_ERROR "${folder} is missing: run scripts/setup.sh")
    endif()
endforeach()
set(header_links ${CMAKE_BINARY_DIR}/header-libraries)
file(MAKE_DIRECTORY ${header_links})
file(CREATE_LINK ${VKD_CLI11_INCLUDE} ${header_links}/CLI SYMBOLIC)
file(CREATE_LINK ${VKD_JSON_INCLUDE} ${header_links}/nlohmann SYMBOLIC)

add_library(vkd_header_libraries INTERFACE)
target_include_directories(vkd_header_libraries SYSTEM INTERFACE ${header_links})
# std::filesystem would import functions Windows XP lacks; CLI11 does without it.
target_compile_definitions(vkd_header_libraries INTERFACE CLI11_HAS_FILESYSTEM=0)

