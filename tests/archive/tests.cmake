zpk_test_program(test_zip
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/zip_test.cpp
  LIBS zpk_archive zpk_zlib_static
)
zpk_test_program(test_archive
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/arcfile_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/datalist_test.cpp
  LIBS zpk_archive
)

# Archives of other tools through arctool, and the engine's archives through
# other tools.
zpk_add_test(zip_interop
  COMMAND python3 ${CMAKE_CURRENT_LIST_DIR}/zip_interop_test.py $<TARGET_FILE:arctool>
          ${CMAKE_SOURCE_DIR}/tools/wine-run
  TIMEOUT 600)
