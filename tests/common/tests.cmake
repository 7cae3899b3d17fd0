zpk_test_program(test_common
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/strings_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/lists_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/paths_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/messages_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/registry_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/settings_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/system_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/dos_time_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/dialogs_test.cpp
)

# The progress window, monitors and the desktop icon keeper; the keeper's
# tests start a stand-in desktop in a second process.
zpk_test_program(test_desktop
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/progress_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/monitors_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/desktop_icons_test.cpp
)
# One stand-in desktop at a time: programs that start one share this lock.
# The monitor tests move the mouse, so the program holds the input as well.
set_tests_properties(test_desktop.${ZPK_BITS} PROPERTIES RESOURCE_LOCK "desktop;input")
# On 64-bit Windows the desktop is a 64-bit process: the 32-bit keeper is
# tested against the 64-bit build of these tests in their stand-in role.
if(ZPK_BITS EQUAL 32)
  set_property(TEST test_desktop.32 APPEND PROPERTY ENVIRONMENT
               "ZPK_STAND_IN_DESKTOP64=Z:${CMAKE_SOURCE_DIR}/build/win64/tests/test_desktop.exe")
endif()
