# The package a user downloads, assembled into a folder of the test's own
# from both builds: the programs and the 32-bit libraries come from the
# 32-bit build, so the test belongs to the 64-bit run only, which follows
# the build of both widths.
if(ZPK_BITS EQUAL 64)
  zpk_add_test(package
    COMMAND python3 ${CMAKE_CURRENT_LIST_DIR}/package_test.py ${CMAKE_SOURCE_DIR}
            ${CMAKE_BINARY_DIR}/testtemp/package/dist
    TIMEOUT 300)
endif()
