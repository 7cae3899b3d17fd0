# The viewer's decisions and its real menu, without a screen.
zpk_test_program(test_viewer_menu
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/menu_model_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/archive_menu_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/viewer_plain_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/handover_test.cpp
  LIBS zpk_viewer
)

# The stand-in for ZPKSet.exe and archiver commands.
add_executable(viewer_stand_in WIN32 ${CMAKE_CURRENT_LIST_DIR}/stand_in_recorder.cpp)
target_link_libraries(viewer_stand_in PRIVATE zpk_common)
target_link_options(viewer_stand_in PRIVATE -municode)

# The viewer run in the test program with its menu worked by key presses,
# a stand-in editor and a stand-in ZPKSet.exe.
zpk_test_program(test_viewer_run
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/viewer_fixture.cpp
    ${CMAKE_CURRENT_LIST_DIR}/viewer_run_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tooltip_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/drag_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/store_wait_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/archive/cab_builder.cpp
  LIBS zpk_viewer
  # The store window is a dialog of the viewer's resources.
  RESOURCES ${CMAKE_SOURCE_DIR}/resources/viewer.rc
)
add_dependencies(test_viewer_run viewer_stand_in)
add_custom_command(TARGET test_viewer_run POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:viewer_stand_in> $<TARGET_FILE_DIR:test_viewer_run>)
# Real input goes to one test program at a time: the driver presses keys
# into whatever menu is open.
set_tests_properties(test_viewer_run.${ZPK_BITS} PROPERTIES RESOURCE_LOCK input)
