zpk_test_program(test_zlib
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/zlibwapi_test.cpp
  LIBS zpk_zlib_static
)
