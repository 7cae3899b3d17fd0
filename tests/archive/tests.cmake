zpk_test_program(test_archive
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/arcfile_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/datalist_test.cpp
  LIBS zpk_archive
)
