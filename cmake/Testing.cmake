# GoogleTest is built from the source Debian ships, so the native and both mingw builds use
# the same version compiled with their own compiler.
set(VKD_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest source tree")

function(vkd_use_gtest)
    if(TARGET gtest)
        return()
    endif()
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
    add_subdirectory(${VKD_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    if(MINGW)
        # The win32-threads runtime has no std::mutex; GoogleTest needs it only for its
        # Notification, which this header supplies.
        target_compile_definitions(gtest PUBLIC GTEST_HAS_NOTIFICATION_=1)
        target_compile_options(gtest PUBLIC -include ${PROJECT_SOURCE_DIR}/cmake/GTestNotification.h)
    endif()
    if(VKD_SANITIZE)
        foreach(lib gtest gtest_main)
            target_compile_options(${lib} PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer)
        endforeach()
    endif()
endfunction()

include(GoogleTest)

# A test that runs a Windows program under Wine takes a lane of the bench (scripts/wine/session):
# its own prefix, display and simulators, where no other test runs meanwhile. ctest hands the
# lane to scripts/wine/run through the resource "bench".
set(VKD_WINE_LANE RESOURCE_GROUPS bench:1)

# vkd_add_gtest(<name> SOURCES ... [LIBRARIES ...] [PROPERTIES ...])
# One test executable; every test case becomes a CTest test. Under a cross build the cases are
# listed when the tests run (through CMAKE_CROSSCOMPILING_EMULATOR), not at build time.
function(vkd_add_gtest name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES;PROPERTIES" ${ARGN})
    vkd_use_gtest()
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} gtest gtest_main vkd_options)
    set(lane)
    if(CMAKE_CROSSCOMPILING AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
        return() # built, not run: nothing here can run this architecture
    elseif(CMAKE_CROSSCOMPILING)
        set(mode PRE_TEST)
        set(lane ${VKD_WINE_LANE})
    else()
        set(mode POST_BUILD)
    endif()
    gtest_discover_tests(${name} DISCOVERY_MODE ${mode} DISCOVERY_TIMEOUT 120
        PROPERTIES TIMEOUT 120 ${lane} ${ARG_PROPERTIES})
endfunction()
