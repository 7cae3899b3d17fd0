zpk_test_program(test_folder_menu
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/folder_menu_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/dropped_files_test.cpp
  LIBS zpk_folder_menu
)
# The menu tests move the mouse and press keys: no other program of the
# session may have the input meanwhile.
set_tests_properties(test_folder_menu.${ZPK_BITS} PROPERTIES RESOURCE_LOCK input)
