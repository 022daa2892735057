# Page output and change tracking, and the extraction of template package files.
list(APPEND GENERATOR_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/page_output.cpp
  ${CMAKE_CURRENT_LIST_DIR}/extract.cpp)

tessavo_add_test(page_output_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/page_output_test.cpp
  LIBS tessavo_generator)
