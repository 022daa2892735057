# The generation run, page plan, navigation, archive pages, feeds and the demo blog.
list(APPEND GENERATOR_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/run.cpp
  ${CMAKE_CURRENT_LIST_DIR}/page_plan.cpp
  ${CMAKE_CURRENT_LIST_DIR}/archives.cpp
  ${CMAKE_CURRENT_LIST_DIR}/page_digests.cpp
  ${CMAKE_CURRENT_LIST_DIR}/effect_queue.cpp
  ${CMAKE_CURRENT_LIST_DIR}/navigation.cpp
  ${CMAKE_CURRENT_LIST_DIR}/feeds.cpp
  ${CMAKE_CURRENT_LIST_DIR}/demo.cpp)

tessavo_add_test(site_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/navigation_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/feeds_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/periods_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/effect_queue_test.cpp
  LIBS tessavo_generator)
