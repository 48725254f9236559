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
kestrane_dist_program(kestrane-cli)
