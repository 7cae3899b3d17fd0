# The add dialog of ZPKSet (dialog 130) and the add it runs, as a library
# that the program links; its dialog resource is resources/cab_add.rc,
# which the program's resource script includes.
add_library(zpk_cab_add STATIC
  ${CMAKE_CURRENT_LIST_DIR}/cab_add_dialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cab_drop_target.cpp
)
target_link_libraries(zpk_cab_add PUBLIC zpk_folder_menu zpk_archive zpk_common)
