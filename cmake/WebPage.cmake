# The browser page for the packages: the release trees build it as a sub-build of this source
# with the WebAssembly toolchain (the web preset's settings, without its tests).
include(ExternalProject)
set(VKD_WEB_PAGE ${CMAKE_BINARY_DIR}/page/web/vkd37.html)
ExternalProject_Add(vkd37_page
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${CMAKE_BINARY_DIR}/page
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/toolchain-wasm32-wasi.cmake
               -DCMAKE_BUILD_TYPE=MinSizeRel -DVKD_WEB=ON -DVKD_TESTS=OFF
    BUILD_ALWAYS ON # the sub-build knows its own sources; an unchanged page is a quick no-op
    INSTALL_COMMAND ""
    BUILD_BYPRODUCTS ${VKD_WEB_PAGE})
