# The browser page the packages ship: the one the web preset built. Its tree is asked whether the
# page is up to date, so a package never takes a missing page or one older than its sources.
set(VKD_WEB_BUILD ${PROJECT_SOURCE_DIR}/build/web CACHE PATH
    "The web preset's build tree, whose vkd37.html the packages ship")
set(VKD_WEB_PAGE ${VKD_WEB_BUILD}/web/vkd37.html)
install(CODE "set(VKD_WEB_BUILD \"${VKD_WEB_BUILD}\")
    include(\"${PROJECT_SOURCE_DIR}/cmake/CheckWebPage.cmake\")")
install(FILES ${VKD_WEB_PAGE} DESTINATION ${VKD_WEB_PAGE_DESTINATION})
