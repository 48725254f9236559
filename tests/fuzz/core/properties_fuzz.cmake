kestrane_add_fuzz(properties_fuzz
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/properties_fuzz.cpp
  LIBS kestrane_base
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus)
