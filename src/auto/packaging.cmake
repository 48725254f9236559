# Packing result records with zip and sending them with the transfer program.
kestrane_module(kestrane_packaging
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/packaging.cpp
  LIBS kestrane_process kestrane_settings kestrane_base Threads::Threads)
target_link_libraries(kestrane_core INTERFACE kestrane_packaging)
