# Settings every target of ours shares. Third-party code (GoogleTest) does not get them.
add_library(vkd_options INTERFACE)
target_compile_options(vkd_options INTERFACE -Wall -Wextra)
if(WIN32)
    # Windows XP is the oldest target: the headers then hide every API it lacks.
    target_compile_definitions(vkd_options INTERFACE
        UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0501 WINVER=0x0501)
    # Large-address aware: 4 GB of address space under 64-bit Windows instead of 2 (3 GB on a
    # 32-bit one booted with /3GB). Nothing of ours takes an address above 2 GB for negative.
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        target_link_options(vkd_options INTERFACE -Wl,--large-address-aware)
    endif()
endif()
if(VKD_SANITIZE)
    target_compile_options(vkd_options INTERFACE
        -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_link_options(vkd_options INTERFACE -fsanitize=address,undefined)
endif()

# What the programs' version blocks, the packages and the signatures call the product.
set(VKD_PRODUCT "VKD-37 parameter tool")
# What --version prints.
add_library(vkd_version INTERFACE)
target_compile_definitions(vkd_version INTERFACE VKD_VERSION="${PROJECT_VERSION}")

# The Windows programs' version blocks take their four numbers from the project's version too,
# and their copyright line and maker from the licence, through a header windres reads.
if(WIN32)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)
    file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE VKD_COPYRIGHT REGEX "^Copyright " LIMIT_COUNT 1)
    string(REGEX REPLACE "^Copyright \\([cC]\\) [0-9, -]+ " "" VKD_AUTHORS "${VKD_COPYRIGHT}")
    if(VKD_AUTHORS STREQUAL VKD_COPYRIGHT OR VKD_AUTHORS STREQUAL "")
        message(FATAL_ERROR "LICENSE has no line 'Copyright (c) YEAR HOLDER'")
    endif()
    foreach(part MAJOR MINOR PATCH TWEAK)
        if(PROJECT_VERSION_${part} STREQUAL "")
            set(PROJECT_VERSION_${part} 0)
        endif()
    endforeach()
    set(VKD_VERSION_HEADER_DIR ${CMAKE_BINARY_DIR}/version)
    configure_file(${PROJECT_SOURCE_DIR}/res/VersionInfo.h.in
        ${VKD_VERSION_HEADER_DIR}/VersionInfo.h @ONLY)
endif()
