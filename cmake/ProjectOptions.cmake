# Settings every target of ours shares. Third-party code (GoogleTest) does not get them.
add_library(vkd_options INTERFACE)
target_compile_options(vkd_options INTERFACE -Wall -Wextra)
if(WIN32)
    # Windows XP is the oldest target: the headers then hide every API it lacks.
    target_compile_definitions(vkd_options INTERFACE
        UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0501 WINVER=0x0501)
endif()
if(VKD_SANITIZE)
    target_compile_options(vkd_options INTERFACE
        -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_link_options(vkd_options INTERFACE -fsanitize=address,undefined)
endif()

# What --version prints.
add_library(vkd_version INTERFACE)
target_compile_definitions(vkd_version INTERFACE VKD_VERSION="${PROJECT_VERSION}")
