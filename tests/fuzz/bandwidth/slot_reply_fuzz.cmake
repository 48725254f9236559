kestrane_add_fuzz(slot_reply_fuzz
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/slot_reply_fuzz.cpp
  LIBS kestrane_bandwidth
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus)
