# Every input the fuzzer found that crashed, hung, passed a limit or broke a
# promise, cut down and kept in regressions/TARGET/, replayed with every
# heap block guarded: none may do it again.
zpk_add_test(fuzz_regressions
  COMMAND ${CMAKE_SOURCE_DIR}/tools/wine-test $<TARGET_FILE:zpkfuzz> replay --work Z:${CMAKE_BINARY_DIR}/fuzz-replay
          Z:${CMAKE_CURRENT_LIST_DIR}/regressions
  TIMEOUT 300)

# A short fuzzing run with a fixed seed and a fixed number of inputs per
# target, from seeds the real tools make, so that the targets, the mutator
# and the driver keep working; the long runs are tools/fuzz/fuzz.py's. Its
# seeds are made partly through arctool, whose progress windows take the
# focus.
zpk_add_test(fuzz_short
  COMMAND python3 ${CMAKE_SOURCE_DIR}/tools/fuzz/fuzz.py --no-session --inputs 600 --seed 1
          --exe $<TARGET_FILE:zpkfuzz> --arctool $<TARGET_FILE:arctool> --work ${CMAKE_BINARY_DIR}/fuzz-short
  TIMEOUT 240)
set_property(TEST fuzz_short.${ZPK_BITS} APPEND PROPERTY RESOURCE_LOCK input)
