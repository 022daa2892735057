# Variable engine, variables, entry formatting, dates and escaping.
list(APPEND GENERATOR_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/engine.cpp
  ${CMAKE_CURRENT_LIST_DIR}/variables.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dates.cpp
  ${CMAKE_CURRENT_LIST_DIR}/escaping.cpp
  ${CMAKE_CURRENT_LIST_DIR}/formatting.cpp
  ${CMAKE_CURRENT_LIST_DIR}/permalink.cpp)

tessavo_add_test(engine_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/engine_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/variables_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/dates_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/escaping_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/formatting_test.cpp
  LIBS tessavo_generator)
