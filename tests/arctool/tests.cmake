# The command line of the diagnostic tool, driven as a user drives it.
zpk_add_test(arctool_cli
  COMMAND python3 ${CMAKE_CURRENT_LIST_DIR}/arctool_test.py ${CMAKE_SOURCE_DIR}/tools/wine-run $<TARGET_FILE:arctool>
  TIMEOUT 600)
