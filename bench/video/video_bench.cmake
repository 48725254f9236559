# The player against the lab, beside ffmpeg (run by hand; not part of the tests):
#   QT_QPA_PLATFORM=offscreen <build>/video_bench [PLAYS]
if(KESTRANE_TESTS AND KESTRANE_GUI)
  add_executable(video_bench ${CMAKE_CURRENT_LIST_DIR}/video_bench.cpp)
  target_link_libraries(video_bench PRIVATE kestrane_options kestrane_player_loader
    kestrane_labfixture kestrane_testsupport Qt6::Widgets)
  add_dependencies(video_bench kestrane_dist)
endif()
