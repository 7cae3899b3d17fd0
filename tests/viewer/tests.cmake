zpk_test_program(test_viewer_menu
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/menu_model_test.cpp
  LIBS zpk_viewer
)
