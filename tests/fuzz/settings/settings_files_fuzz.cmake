kestrane_add_fuzz(settings_files_fuzz
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/settings_files_fuzz.cpp
  LIBS kestrane_settings
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus)
