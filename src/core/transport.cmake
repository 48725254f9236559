# HTTP transport: text requests over libcurl, throughput clients over sockets.
kestrane_module(kestrane_transport
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/http_transport.cpp
    ${CMAKE_CURRENT_LIST_DIR}/http_download_get.cpp
    ${CMAKE_CURRENT_LIST_DIR}/http_get.cpp
  LIBS kestrane_base CURL::libcurl Threads::Threads)
target_link_libraries(kestrane_core INTERFACE kestrane_transport)
