# arctool.exe: the engine on the command line, used by the interoperability
# tests. It lands beside the test programs, with the zlib library.
add_executable(arctool
  ${CMAKE_CURRENT_LIST_DIR}/arctool.cpp
  ${CMAKE_CURRENT_LIST_DIR}/arctool_dump.cpp
  ${CMAKE_SOURCE_DIR}/tests/support/test_resources.rc)
target_link_libraries(arctool PRIVATE zpk_dump_command zpk_test_support zpk_archive zpk_common)
target_link_options(arctool PRIVATE -municode)
set_target_properties(arctool PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
add_dependencies(arctool zlibwapi)
add_custom_command(TARGET arctool POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:zlibwapi> $<TARGET_FILE_DIR:arctool>)
