# The engine's side of the player: loads libVideoPlayer.so from the program folder at run time.
# It needs no widget library (the control's widget is only passed through), so it builds
# with the GUI off as well.
kestrane_module(kestrane_player_loader
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/player_loader.cpp
  LIBS kestrane_platform ${CMAKE_DL_LIBS})
target_link_libraries(kestrane_core INTERFACE kestrane_player_loader)

# The player's decoding core (no widgets, no network): shared by the library, its tests and
# the fuzzer.
pkg_check_modules(FFMPEG REQUIRED IMPORTED_TARGET libavformat libavcodec libswscale libavutil)
kestrane_module(kestrane_player_core
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/media_decoder.cpp
    ${CMAKE_CURRENT_LIST_DIR}/play_text.cpp
  LIBS PkgConfig::FFMPEG)

if(KESTRANE_GUI)
  # libVideoPlayer.so, loaded by the engine from the program folder (player_loader.h).
  add_library(VideoPlayer SHARED
    ${CMAKE_CURRENT_LIST_DIR}/player_control.cpp
    ${CMAKE_CURRENT_LIST_DIR}/play_session.cpp)
  target_link_libraries(VideoPlayer PRIVATE kestrane_options kestrane_player_core CURL::libcurl
    Qt6::Widgets Threads::Threads)
  set_target_properties(VideoPlayer PROPERTIES CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON PREFIX "lib" OUTPUT_NAME VideoPlayer)
  target_link_options(VideoPlayer PRIVATE -Wl,--no-undefined)
  kestrane_dist_program(VideoPlayer)
endif()
