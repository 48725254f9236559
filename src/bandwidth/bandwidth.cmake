# The bandwidth test: server catalogue and choice, the measuring engine, the result record.
kestrane_module(kestrane_bandwidth
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/band_statistics.cpp
    ${CMAKE_CURRENT_LIST_DIR}/server_selection.cpp
    ${CMAKE_CURRENT_LIST_DIR}/server_catalogue.cpp
    ${CMAKE_CURRENT_LIST_DIR}/band_record.cpp
    ${CMAKE_CURRENT_LIST_DIR}/host_network.cpp
    ${CMAKE_CURRENT_LIST_DIR}/network_speed.cpp
  LIBS kestrane_base kestrane_markup kestrane_history kestrane_probes kestrane_packaging
       kestrane_transport Boost::regex Threads::Threads)
target_link_libraries(kestrane_core INTERFACE kestrane_bandwidth)
