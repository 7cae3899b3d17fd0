zpk_test_program(test_archive
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/arcfile_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/datalist_test.cpp
  LIBS zpk_archive
)
zpk_test_program(test_cab
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/cab_builder.cpp
    ${CMAKE_CURRENT_LIST_DIR}/cab_test_support.cpp
    ${CMAKE_CURRENT_LIST_DIR}/cab_reader_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/cab_writer_test.cpp
  LIBS zpk_archive
)
