zpk_test_program(test_folder_menu
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/folder_menu_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/dropped_files_test.cpp
  LIBS zpk_folder_menu
)
# The menu tests move the mouse and press keys: no other program of the
# session may have the input meanwhile.
set_tests_properties(test_folder_menu.${ZPK_BITS} PROPERTIES RESOURCE_LOCK input)

# The drop handler loaded by path, as the shell loads it; the library is
# copied beside the program, and the tests point the install folder there.
zpk_test_program(test_shellext
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/handler_library.cpp
    ${CMAKE_CURRENT_LIST_DIR}/handler_test.cpp
)
add_dependencies(test_shellext ZPKShlEx)
add_custom_command(TARGET test_shellext POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:ZPKShlEx> $<TARGET_FILE_DIR:test_shellext>)

# The stand-in shell, in both widths, and the drops it makes onto archives
# of the zip tool, checked with unzip.
# It also runs the real install code, to make the handler through the class
# that the install registers; the install writes the settings through the
# hidden settings dialog, so the host carries the setup program's resources.
add_executable(drop_host
  ${CMAKE_CURRENT_LIST_DIR}/drop_host.cpp
  ${CMAKE_CURRENT_LIST_DIR}/handler_library.cpp
  ${CMAKE_CURRENT_LIST_DIR}/install_registration.cpp
  ${CMAKE_SOURCE_DIR}/resources/setup.rc)
target_link_libraries(drop_host PRIVATE zpk_test_support zpk_setup)
target_link_options(drop_host PRIVATE -municode)
add_dependencies(drop_host ZPKShlEx zlibwapi)
zpk_add_test(drop_host
  COMMAND python3 ${CMAKE_CURRENT_LIST_DIR}/drop_host_test.py
  ENVIRONMENT "DROP_HOST=$<TARGET_FILE:drop_host>;HANDLER_LIBRARY=$<TARGET_FILE:ZPKShlEx>;ZLIB_LIBRARY=$<TARGET_FILE:zlibwapi>;WINE_RUN=${CMAKE_SOURCE_DIR}/tools/wine-run"
  TIMEOUT 900)
set_tests_properties(drop_host.${ZPK_BITS} PROPERTIES RESOURCE_LOCK input)
