# kestrane-cli: the tests from a terminal.
add_executable(kestrane-cli
  ${CMAKE_CURRENT_LIST_DIR}/main.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cli_commands.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cli_listener.cpp
  ${CMAKE_CURRENT_LIST_DIR}/resolve_command.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cli_probes.cpp
  ${CMAKE_CURRENT_LIST_DIR}/update_command.cpp
  ${CMAKE_CURRENT_LIST_DIR}/auto_commands.cpp)
target_include_directories(kestrane-cli PRIVATE ${RAPIDJSON_INCLUDE_DIR})
target_link_libraries(kestrane-cli PRIVATE kestrane_options kestrane_core kestrane_session)
# The web page test needs the browser; a build without the GUI has no such command.
if(KESTRANE_GUI)
  target_sources(kestrane-cli PRIVATE ${CMAKE_CURRENT_LIST_DIR}/webpage_command.cpp)
  target_compile_definitions(kestrane-cli PRIVATE KESTRANE_CLI_WEBPAGE)
  target_link_libraries(kestrane-cli PRIVATE kestrane_webpage_ui)
endif()
kestrane_dist_program(kestrane-cli)

# The video test needs the player window (offscreen): windowed builds only.
if(KESTRANE_GUI)
  target_sources(kestrane-cli PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/video_command.cpp
    ${CMAKE_CURRENT_LIST_DIR}/video_command.h)
  target_link_libraries(kestrane-cli PRIVATE kestrane_video_ui)
endif()
