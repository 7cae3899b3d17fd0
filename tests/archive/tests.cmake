zpk_test_program(test_zip
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/zip_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/zip_pool_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/zip_names_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/zip_crypt_test.cpp
  LIBS zpk_archive zpk_zlib_static
)
zpk_test_program(test_archive
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/arcfile_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/datalist_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/entry_names_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/cab_builder.cpp
  LIBS zpk_archive
)
zpk_test_program(test_cab
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/cab_builder.cpp
    ${CMAKE_CURRENT_LIST_DIR}/cab_test_support.cpp
    ${CMAKE_CURRENT_LIST_DIR}/cab_reader_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/cab_writer_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/cab_block_check_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/zone_mark_test.cpp
  LIBS zpk_archive
)

# The interoperability tests of cabinets: gcab and cabextract against the
# engine, which they drive through arctool.
zpk_add_test(cab_interop
  COMMAND python3 ${CMAKE_CURRENT_LIST_DIR}/cab_interop_test.py
  ENVIRONMENT "ARCTOOL=$<TARGET_FILE:arctool>;TEST_CAB=$<TARGET_FILE:test_cab>;WINE_RUN=${CMAKE_SOURCE_DIR}/tools/wine-run"
  TIMEOUT 600)

# Archives of other tools through arctool, and the engine's archives through
# other tools.
zpk_add_test(zip_interop
  COMMAND python3 ${CMAKE_CURRENT_LIST_DIR}/zip_interop_test.py $<TARGET_FILE:arctool>
          ${CMAKE_SOURCE_DIR}/tools/wine-run
  TIMEOUT 600)

# Seeded random damage to sound archives, read by every reading operation.
zpk_test_program(test_damage
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/damage_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/cab_builder.cpp
    ${CMAKE_CURRENT_LIST_DIR}/cab_test_support.cpp
  LIBS zpk_archive zpk_dump zpk_zlib_static
)
