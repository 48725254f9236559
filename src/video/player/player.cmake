# The engine's side of the player: loads libVideoPlayer.so from the program folder at run time.
# It needs no widget library (the control's widget is only passed through), so it builds
# with the GUI off as well.
kestrane_module(kestrane_player_loader
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/player_loader.cpp
  LIBS kestrane_platform ${CMAKE_DL_LIBS})
target_link_libraries(kestrane_core INTERFACE kestrane_player_loader)
