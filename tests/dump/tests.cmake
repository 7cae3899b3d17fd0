zpk_test_program(test_dump
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/dump_test_support.cpp
    ${CMAKE_CURRENT_LIST_DIR}/arcdump_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/zipdump_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/cabdump_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/bad_input_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/dump_command_test.cpp
  LIBS zpk_dump zpk_dump_command
)

# Archives made by third-party tools must give reports without error lines.
zpk_add_test(test_dump_interop
  COMMAND python3 ${CMAKE_CURRENT_LIST_DIR}/interop_test.py
          ${CMAKE_SOURCE_DIR}/tools/wine-run $<TARGET_FILE:arctool>
  TIMEOUT 600)
