kestrane_add_fuzz(ini_file_fuzz
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ini_file_fuzz.cpp
  LIBS kestrane_process
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus)
