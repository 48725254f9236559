# kestrane-cli: the tests from a terminal.
add_executable(kestrane-cli
  ${CMAKE_CURRENT_LIST_DIR}/main.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cli_commands.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cli_listener.cpp
  ${CMAKE_CURRENT_LIST_DIR}/resolve_command.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cli_probes.cpp)
target_include_directories(kestrane-cli PRIVATE ${RAPIDJSON_INCLUDE_DIR})
target_link_libraries(kestrane-cli PRIVATE kestrane_options kestrane_core kestrane_session)
kestrane_dist_program(kestrane-cli)

# The video test needs the player window (offscreen): windowed builds only.
if(KESTRANE_GUI)
  target_sources(kestrane-cli PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/video_command.cpp
    ${CMAKE_CURRENT_LIST_DIR}/video_command.h)
  target_link_libraries(kestrane-cli PRIVATE kestrane_video_ui)
endif()
