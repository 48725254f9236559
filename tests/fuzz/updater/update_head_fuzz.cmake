kestrane_add_fuzz(update_head_fuzz
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/update_head_fuzz.cpp
  LIBS kestrane_updater
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus)
