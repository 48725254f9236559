kestrane_add_fuzz(server_catalogue_fuzz
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/server_catalogue_fuzz.cpp
  LIBS kestrane_bandwidth
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus)
