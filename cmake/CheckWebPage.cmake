# Fails unless VKD_WEB_BUILD holds a vkd37.html that its own build graph says is up to date: a
# dry run of ninja would rebuild nothing for it.
set(page ${VKD_WEB_BUILD}/web/vkd37.html)
set(build_first "build it first: cmake --preset web && cmake --build --preset web")
if(NOT EXISTS ${page})
    message(FATAL_ERROR "the browser page ${page} is missing; ${build_first}")
endif()
execute_process(COMMAND ninja -C ${VKD_WEB_BUILD} -n vkd37-page
    OUTPUT_VARIABLE plan ERROR_VARIABLE plan RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR NOT plan MATCHES "no work to do")
    message(FATAL_ERROR "the browser page ${page} is older than its sources; ${build_first}")
endif()
