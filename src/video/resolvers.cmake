# The video address resolvers: page address in, media addresses out.
kestrane_module(kestrane_resolvers
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/video_resolvers.cpp
  LIBS kestrane_base kestrane_markup kestrane_transport Boost::regex CURL::libcurl)
target_include_directories(kestrane_resolvers PRIVATE ${RAPIDJSON_INCLUDE_DIR})
target_link_libraries(kestrane_core INTERFACE kestrane_resolvers)
