# The setup program's logic in-process: verbs, settings dialog, install.
zpk_test_program(test_setup
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/setup_test_support.cpp
    ${CMAKE_CURRENT_LIST_DIR}/verbs_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/settings_dialog_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/install_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/install_dialog_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/dialog_keyboard_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/screenshot_roles.cpp
  LIBS zpk_setup
  RESOURCES ${CMAKE_SOURCE_DIR}/resources/setup.rc
)

# The real program started from a second process; its boxes are answered by
# the window driver, its add dialog given files with the mouse. The settings
# case borrows the prefix's own hive.
zpk_test_program(test_setup_program
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/program_test.cpp
  LIBS zpk_archive version
)
# The deliverable is the 32-bit program whatever the test's width; the
# 64-bit tests read its New-menu texts as the 64-bit shell does.
if(ZPK_BITS EQUAL 32)
  set(deliverable $<TARGET_FILE:ZPKSet>)
else()
  set(deliverable ${ZPK_WIN32_BUILD_DIR}/dist/ZPKSet.exe)
endif()
target_compile_definitions(test_setup_program PRIVATE ZPKSET_EXE="$<TARGET_FILE:ZPKSet>"
                           ZPKSET_DELIVERABLE_EXE="${deliverable}")
add_dependencies(test_setup_program ZPKSet)
# The add dialog is given its files with the mouse.
set_tests_properties(test_setup_program.${ZPK_BITS} PROPERTIES RESOURCE_LOCK "user_hive;input")

# Folders with Japanese names compressed by the real program, the archives
# checked by unzip and cabextract.
zpk_add_test(setup_interop
  COMMAND python3 ${CMAKE_CURRENT_LIST_DIR}/interop_test.py
          ${CMAKE_SOURCE_DIR}/tools/wine-run $<TARGET_FILE:ZPKSet>
  TIMEOUT 600)

# The add dialog of ZPKSet, with its dialog resource; the cabinets it
# makes are checked by cabextract afterwards.
zpk_test_program(test_cab_add
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/cab_add_dialog_test.cpp
    ${CMAKE_SOURCE_DIR}/resources/cab_add.rc
  LIBS zpk_cab_add
)
set_tests_properties(test_cab_add.${ZPK_BITS} PROPERTIES RESOURCE_LOCK input)
zpk_add_test(cab_add_cabextract
  COMMAND python3 ${CMAKE_CURRENT_LIST_DIR}/cab_add_check.py
  ENVIRONMENT "TEST_CAB_ADD=$<TARGET_FILE:test_cab_add>;WINE_RUN=${CMAKE_SOURCE_DIR}/tools/wine-run"
  TIMEOUT 600)
set_tests_properties(cab_add_cabextract.${ZPK_BITS} PROPERTIES RESOURCE_LOCK input)
