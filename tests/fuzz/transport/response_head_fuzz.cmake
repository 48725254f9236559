kestrane_add_fuzz(response_head_fuzz
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/response_head_fuzz.cpp
  LIBS kestrane_transport
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus)
