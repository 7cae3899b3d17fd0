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
