# The setup program's logic in-process: verbs, settings dialog, install.
zpk_test_program(test_setup
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/setup_test_support.cpp
    ${CMAKE_CURRENT_LIST_DIR}/verbs_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/settings_dialog_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/install_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/install_dialog_test.cpp
  LIBS zpk_setup
  RESOURCES ${CMAKE_SOURCE_DIR}/resources/setup.rc
)
