# Ping and trace collection towards destinations chosen by the update server's files.
kestrane_module(kestrane_pingtrace
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ping_trace.cpp
  LIBS kestrane_probes kestrane_markup kestrane_packaging kestrane_settings kestrane_download
       kestrane_base kestrane_platform Threads::Threads)
target_link_libraries(kestrane_core INTERFACE kestrane_pingtrace)
