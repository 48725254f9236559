# The session with the management server: login, saved credentials, scores.
kestrane_module(kestrane_session
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/server_session.cpp
  LIBS kestrane_base kestrane_transport PkgConfig::NETTLE)
target_include_directories(kestrane_session PRIVATE ${RAPIDJSON_INCLUDE_DIR})
target_link_libraries(kestrane_core INTERFACE kestrane_session)
