kestrane_add_fuzz(video_resolvers_fuzz
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/video_resolvers_fuzz.cpp
  LIBS kestrane_resolvers
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus)
