# The player: its texts and figures alone, and whole plays of the lab's clips through the
# library as the engine loads it.
kestrane_add_gtest(video_player_text_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/play_text_test.cpp
  LIBS kestrane_player_core kestrane_player_loader
  LABELS unit)
if(KESTRANE_GUI)
  kestrane_add_gtest(video_player_lab_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/player_lab_test.cpp ${CMAKE_SOURCE_DIR}/tests/ui/gui_main.cpp
    LIBS kestrane_player_loader kestrane_labfixture Qt6::Widgets PkgConfig::FFMPEG
    LABELS integration gui
    TIMEOUT 600)
endif()
