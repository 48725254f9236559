kestrane_add_fuzz(video_player_fuzz
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/video_player_fuzz.cpp
  LIBS kestrane_player_core
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus)
