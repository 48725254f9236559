# The video test's record and the texts exchanged with the player.
kestrane_module(kestrane_video
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/video_record.cpp
  LIBS kestrane_base kestrane_settings kestrane_history kestrane_packaging kestrane_resolvers
       Threads::Threads)
target_link_libraries(kestrane_core INTERFACE kestrane_video)
