# The user's settings and task files, thresholds, area words and the upload account.
kestrane_module(kestrane_settings
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/settings_files.cpp
  LIBS kestrane_markup kestrane_download kestrane_base)
target_link_libraries(kestrane_core INTERFACE kestrane_settings)
