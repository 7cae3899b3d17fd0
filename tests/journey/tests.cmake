# The whole journey of a user, in a Wine prefix of its own: the package
# unpacked, installed through its dialog, every shell entry used as the
# shell uses it, the settings changed, and uninstalled, leaving the user's
# hive as it was. The driver plays the user and the shell inside the prefix.
add_executable(journey_driver
  ${CMAKE_CURRENT_LIST_DIR}/journey_driver.cpp
  ${CMAKE_SOURCE_DIR}/tests/support/test_resources.rc)
target_link_libraries(journey_driver PRIVATE zpk_test_support)
# A window program, as the editors it stands in for are: started by the
# viewer it must not get a console window, whose settings Wine would keep in
# the user's hive. Its lines still go to the output it was given.
target_link_options(journey_driver PRIVATE -municode -Wl,--subsystem,windows)
# A session of its own (display, prefix, wineserver), so it shares nothing
# with the rest of the suite but the build. It runs once, from the 64-bit
# build; the package it tries is of the width the machine runs. It prints
# how long each step took (about a minute in all, the prefix included).
if(ZPK_BITS EQUAL 64)
  zpk_add_test(journey
    COMMAND python3 ${CMAKE_CURRENT_LIST_DIR}/journey_test.py
    ENVIRONMENT "JOURNEY_DRIVER=$<TARGET_FILE:journey_driver>;DROP_HOST=$<TARGET_FILE:drop_host>;JOURNEY_WORK=${CMAKE_BINARY_DIR}/journey"
    TIMEOUT 900)
endif()
add_dependencies(journey_driver drop_host ZPKSet ZPKMain ZPKShlEx zlibwapi)
